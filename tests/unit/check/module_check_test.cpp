#include "check/module_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "check/class_file.h"
#include "check/jar_manifest.h"

namespace {

// app/Db.class from javac --release 8: main calls java.sql.DriverManager.getConnection(a[0])
// and closes the java.sql.Connection it returns.
const std::string kDbClass(
    "\xca\xfe\xba\xbe\x00\x00\x00\x34\x00\x1d\x0a\x00\x02\x00\x03\x07\x00\x04\x0c\x00\x05\x00"
    "\x06\x01\x00\x10\x6a\x61\x76\x61\x2f\x6c\x61\x6e\x67\x2f\x4f\x62\x6a\x65\x63\x74\x01\x00"
    "\x06\x3c\x69\x6e\x69\x74\x3e\x01\x00\x03\x28\x29\x56\x0a\x00\x08\x00\x09\x07\x00\x0a\x0c"
    "\x00\x0b\x00\x0c\x01\x00\x16\x6a\x61\x76\x61\x2f\x73\x71\x6c\x2f\x44\x72\x69\x76\x65\x72"
    "\x4d\x61\x6e\x61\x67\x65\x72\x01\x00\x0d\x67\x65\x74\x43\x6f\x6e\x6e\x65\x63\x74\x69\x6f"
    "\x6e\x01\x00\x29\x28\x4c\x6a\x61\x76\x61\x2f\x6c\x61\x6e\x67\x2f\x53\x74\x72\x69\x6e\x67"
    "\x3b\x29\x4c\x6a\x61\x76\x61\x2f\x73\x71\x6c\x2f\x43\x6f\x6e\x6e\x65\x63\x74\x69\x6f\x6e"
    "\x3b\x0b\x00\x0e\x00\x0f\x07\x00\x10\x0c\x00\x11\x00\x06\x01\x00\x13\x6a\x61\x76\x61\x2f"
    "\x73\x71\x6c\x2f\x43\x6f\x6e\x6e\x65\x63\x74\x69\x6f\x6e\x01\x00\x05\x63\x6c\x6f\x73\x65"
    "\x07\x00\x13\x01\x00\x06\x61\x70\x70\x2f\x44\x62\x01\x00\x04\x43\x6f\x64\x65\x01\x00\x0f"
    "\x4c\x69\x6e\x65\x4e\x75\x6d\x62\x65\x72\x54\x61\x62\x6c\x65\x01\x00\x04\x6d\x61\x69\x6e"
    "\x01\x00\x16\x28\x5b\x4c\x6a\x61\x76\x61\x2f\x6c\x61\x6e\x67\x2f\x53\x74\x72\x69\x6e\x67"
    "\x3b\x29\x56\x01\x00\x0a\x45\x78\x63\x65\x70\x74\x69\x6f\x6e\x73\x07\x00\x1a\x01\x00\x13"
    "\x6a\x61\x76\x61\x2f\x6c\x61\x6e\x67\x2f\x45\x78\x63\x65\x70\x74\x69\x6f\x6e\x01\x00\x0a"
    "\x53\x6f\x75\x72\x63\x65\x46\x69\x6c\x65\x01\x00\x07\x44\x62\x2e\x6a\x61\x76\x61\x00\x21"
    "\x00\x12\x00\x02\x00\x00\x00\x00\x00\x02\x00\x01\x00\x05\x00\x06\x00\x01\x00\x14\x00\x00"
    "\x00\x1d\x00\x01\x00\x01\x00\x00\x00\x05\x2a\xb7\x00\x01\xb1\x00\x00\x00\x01\x00\x15\x00"
    "\x00\x00\x06\x00\x01\x00\x00\x00\x02\x00\x09\x00\x16\x00\x17\x00\x02\x00\x14\x00\x00\x00"
    "\x28\x00\x02\x00\x01\x00\x00\x00\x0c\x2a\x03\x32\xb8\x00\x07\xb9\x00\x0d\x01\x00\xb1\x00"
    "\x00\x00\x01\x00\x15\x00\x00\x00\x0a\x00\x02\x00\x00\x00\x04\x00\x0b\x00\x05\x00\x18\x00"
    "\x00\x00\x04\x00\x01\x00\x19\x00\x01\x00\x1b\x00\x00\x00\x02\x00\x1c",
    457);

void Put16(std::string& out, unsigned value) {
    out.push_back(static_cast<char>(value >> 8));
    out.push_back(static_cast<char>(value));
}

void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value >> 16);
    Put16(out, value & 0xFFFF);
}

/// A class file whose constant pool holds `thisClass`, a class entry per item of `classes`,
/// a NameAndType per item of `descriptors` and, for module-info, the Module and
/// ModuleMainClass attributes.
std::string ClassFile(const std::string& thisClass, const std::vector<std::string>& classes,
                      const std::vector<std::string>& descriptors = {},
                      const std::string& module = {}, const std::string& moduleMain = {}) {
    std::string pool;
    unsigned count = 1;
    auto utf8 = [&](const std::string& text) {
        pool.push_back(1);
        Put16(pool, static_cast<unsigned>(text.size()));
        pool += text;
        return count++;
    };
    auto classEntry = [&](const std::string& name) {
        unsigned index = utf8(name);
        pool.push_back(7);
        Put16(pool, index);
        return count++;
    };
    unsigned self = classEntry(thisClass);
    // A long takes two slots: the reader must count it so.
    pool.push_back(5);
    Put32(pool, 0);
    Put32(pool, 1);
    count += 2;
    for (const std::string& name : classes) classEntry(name);
    for (const std::string& descriptor : descriptors) {
        unsigned name = utf8("m"), type = utf8(descriptor);
        pool.push_back(12);
        Put16(pool, name);
        Put16(pool, type);
        ++count;
    }
    std::string attributes;
    unsigned attributeCount = 0;
    if (!module.empty()) {
        unsigned moduleName = utf8(module);
        pool.push_back(19);
        Put16(pool, moduleName);
        unsigned moduleEntry = count++;
        unsigned attribute = utf8("Module");
        Put16(attributes, attribute);
        Put32(attributes, 16);
        Put16(attributes, moduleEntry);
        attributes += std::string(14, '\0');  // flags, version, empty requires/exports/...
        ++attributeCount;
        if (!moduleMain.empty()) {
            unsigned mainClass = classEntry(moduleMain);
            unsigned mainAttribute = utf8("ModuleMainClass");
            Put16(attributes, mainAttribute);
            Put32(attributes, 2);
            Put16(attributes, mainClass);
            ++attributeCount;
        }
    }
    std::string out("\xCA\xFE\xBA\xBE\x00\x00\x00\x35", 8);
    Put16(out, count);
    out += pool;
    Put16(out, 0x21);
    Put16(out, self);
    Put16(out, 0);
    Put16(out, 0);  // interfaces
    Put16(out, 0);  // fields
    Put16(out, 0);  // methods
    Put16(out, attributeCount);
    return out + attributes;
}

/// A zip of stored entries, as `jar --no-compress` writes them.
std::string StoredZip(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string local, central;
    auto put16 = [](std::string& out, unsigned v) {
        out.push_back(static_cast<char>(v));
        out.push_back(static_cast<char>(v >> 8));
    };
    auto put32 = [&](std::string& out, std::uint32_t v) {
        put16(out, v & 0xFFFF);
        put16(out, v >> 16);
    };
    for (const auto& [name, data] : entries) {
        std::uint32_t offset = static_cast<std::uint32_t>(local.size());
        put32(local, 0x04034b50);
        put16(local, 20);
        put16(local, 0);
        put16(local, 0);  // stored
        put32(local, 0);  // time, date
        put32(local, 0);  // crc (not checked)
        put32(local, static_cast<std::uint32_t>(data.size()));
        put32(local, static_cast<std::uint32_t>(data.size()));
        put16(local, static_cast<unsigned>(name.size()));
        put16(local, 0);
        local += name + data;
        put32(central, 0x02014b50);
        put16(central, 20);
        put16(central, 20);
        put16(central, 0);
        put16(central, 0);
        put32(central, 0);
        put32(central, 0);
        put32(central, static_cast<std::uint32_t>(data.size()));
        put32(central, static_cast<std::uint32_t>(data.size()));
        put16(central, static_cast<unsigned>(name.size()));
        for (int i = 0; i < 4; ++i) put16(central, 0);
        put32(central, 0);
        put32(central, offset);
        central += name;
    }
    std::string end;
    put32(end, 0x06054b50);
    put32(end, 0);
    put16(end, static_cast<unsigned>(entries.size()));
    put16(end, static_cast<unsigned>(entries.size()));
    put32(end, static_cast<std::uint32_t>(central.size()));
    put32(end, static_cast<std::uint32_t>(local.size()));
    put16(end, 0);
    return local + central + end;
}

}  // namespace

TEST(ClassFileReader, ReadsTheReferencesJavacWrites) {
    ClassFileReader reader;
    ASSERT_TRUE(reader.Read(kDbClass));
    EXPECT_EQ(reader.major, 52u);
    EXPECT_EQ(reader.thisClass, "app/Db");
    std::vector<std::string_view> expected = {
        // class entries, then the class types of NameAndType descriptors
        "java/lang/Object", "java/sql/DriverManager", "java/lang/String", "java/sql/Connection",
        "java/sql/Connection", "app/Db", "java/lang/Exception"};
    std::vector<std::string_view> got = reader.references;
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    got.erase(std::unique(got.begin(), got.end()), got.end());
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    EXPECT_EQ(got, expected);
}

TEST(ClassFileReader, ArraysDescriptorsModulesAndDamage) {
    ClassFileReader reader;
    // The reader's views point into the bytes: they must outlive them.
    const std::string arrays =
        ClassFile("a/B", {"[[Ljava/sql/Date;", "[I"}, {"(ILjavax/sql/DataSource;)[Ljava/util/List;"});
    ASSERT_TRUE(reader.Read(arrays));
    std::vector<std::string_view> expected = {"a/B", "java/sql/Date", "javax/sql/DataSource", "java/util/List"};
    EXPECT_EQ(reader.references, expected);
    EXPECT_TRUE(reader.moduleName.empty());

    const std::string module = ClassFile("module-info", {}, {}, "com.example.app", "com/example/app/Main");
    ASSERT_TRUE(reader.Read(module));
    EXPECT_EQ(reader.moduleName, "com.example.app");
    EXPECT_EQ(reader.moduleMainClass, "com/example/app/Main");

    // Every cut of a class file, and a bad magic number, is refused without a read outside it.
    std::string whole = ClassFile("module-info", {"x/Y"}, {"(Lq/R;)V"}, "m", "m/Main");
    for (std::size_t size = 0; size < whole.size(); ++size) {
        EXPECT_FALSE(reader.Read(std::string(whole, 0, size))) << size;
    }
    EXPECT_FALSE(reader.Read("\xCA\xFE\xBA\xBF" + kDbClass.substr(4)));
}

TEST(JavaVersionOfClassFile, OldAndNewNumbering) {
    EXPECT_EQ(JavaVersionOfClassFile(45), "1.1");
    EXPECT_EQ(JavaVersionOfClassFile(49), "1.5");
    EXPECT_EQ(JavaVersionOfClassFile(52), "1.8");
    EXPECT_EQ(JavaVersionOfClassFile(53), "9");
    EXPECT_EQ(JavaVersionOfClassFile(61), "17");
    EXPECT_EQ(JavaVersionOfClassFile(44), "");
    EXPECT_EQ(JavaVersionOfClassFile(70000), "");
}

TEST(ReleaseModules, TheModulesLine) {
    auto modules = ReleaseModules("IMPLEMENTOR=\"Eclipse Adoptium\"\r\nJAVA_VERSION=\"17.0.17\"\r\n"
                                  "MODULES=\"java.base java.datatransfer java.xml\"\r\n");
    ASSERT_TRUE(modules);
    EXPECT_EQ(*modules, (std::vector<std::string>{"java.base", "java.datatransfer", "java.xml"}));
    EXPECT_FALSE(ReleaseModules("JAVA_VERSION=\"1.8.0_392\"\nOS_NAME=\"Windows\"\n"));
}

TEST(ImageModules, ModulesOfTheLocationsWithoutTheImagesOwnTrees) {
    // Three locations: /java.base/..., /java.sql/..., /packages/...; attribute 1 (module)
    // and attribute 2 (parent), each value a big-endian offset into the strings.
    std::string strings("\0java.base\0java.sql\0packages\0x\0", 30);
    std::string locations;
    std::vector<std::uint32_t> offsets;
    for (unsigned module : {1u, 11u, 20u}) {
        offsets.push_back(static_cast<std::uint32_t>(locations.size()));
        locations += static_cast<char>(1 << 3 | 1);  // module, two bytes
        locations += static_cast<char>(module >> 8);
        locations += static_cast<char>(module);
        locations += static_cast<char>(2 << 3 | 0);  // parent, one byte
        locations += static_cast<char>(29);
        locations += '\0';
    }
    auto le32 = [](std::string& out, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
    };
    std::string image;
    for (std::uint32_t word : {0xCAFEDADAu, 0x00010000u, 0u, 3u, 3u,
                               static_cast<std::uint32_t>(locations.size()),
                               static_cast<std::uint32_t>(strings.size())}) {
        le32(image, word);
    }
    for (int i = 0; i < 3; ++i) le32(image, 0);  // redirects
    for (std::uint32_t offset : offsets) le32(image, offset);
    image += locations + strings;
    auto modules = ImageModules(image);
    ASSERT_TRUE(modules);
    EXPECT_EQ(*modules, (std::vector<std::string>{"java.base", "java.sql"}));
    EXPECT_FALSE(ImageModules(image.substr(0, image.size() - 1)));
    EXPECT_FALSE(ImageModules("\xCA\xFE\xBA\xBE" + image.substr(4)));
}

TEST(ModuleUse, NamesEachMissingModuleWithAClassUsingIt) {
    ModuleUse use;
    std::string zip = StoredZip({{"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n"},
                                 {"app/Db.class", kDbClass},
                                 {"app/Tx.class", ClassFile("app/Tx", {"javax/transaction/xa/Xid", "java/util/logging/Logger"})},
                                 {"app/Mx.class", ClassFile("app/Mx", {}, {"()Ljava/lang/management/ManagementFactory;"})},
                                 {"app/Bad.class", "not a class"}});
    EXPECT_EQ(use.AddJar(zip), 3u);
    EXPECT_EQ(use.unreadable, 1u);
    std::vector<std::string> runtime = {"java.base", "java.logging", "java.xml"};
    auto missing = use.Missing(runtime);
    ASSERT_EQ(missing.size(), 3u);
    EXPECT_EQ(missing[0].module, "java.management");
    EXPECT_EQ(missing[0].referencingClass, "app.Mx");
    EXPECT_EQ(missing[0].package, "java.lang.management");
    EXPECT_EQ(missing[1].module, "java.sql");
    EXPECT_EQ(missing[1].referencingClass, "app.Db");
    EXPECT_EQ(missing[2].module, "java.transaction.xa");
    EXPECT_EQ(JlinkCommand(runtime, missing, "jre 64"),
              "jlink --add-modules java.base,java.logging,java.xml,java.management,java.sql,"
              "java.transaction.xa --output \"jre 64\"");

    // A program that brings its own copy of a package does not need the module.
    ASSERT_TRUE(use.AddClass(ClassFile("javax/transaction/xa/Xid", {})));
    missing = use.Missing(runtime);
    ASSERT_EQ(missing.size(), 2u);
    EXPECT_EQ(missing[1].module, "java.sql");
    runtime.push_back("java.sql");
    runtime.push_back("java.management");
    EXPECT_TRUE(use.Missing(runtime).empty());
}

TEST(ZipEntries, ListsAndReadsStoredEntriesAndRefusesCutOnes) {
    std::string zip = StoredZip({{"a.txt", "alpha"}, {"b/", ""}});
    auto entries = ZipEntries(zip);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "a.txt");
    EXPECT_EQ(ReadZipEntry(zip, entries[0], 100), std::optional<std::string>("alpha"));
    EXPECT_EQ(ReadZipEntry(zip, entries[0], 4), std::nullopt);
    ZipEntry past = entries[0];
    past.localHeader = zip.size() - 10;
    EXPECT_EQ(ReadZipEntry(zip, past, 100), std::nullopt);
    EXPECT_TRUE(ZipEntries(zip.substr(0, zip.size() - 23)).empty());
}
