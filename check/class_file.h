#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

/// Reads what vmbootcheck needs from class files: the version, the class's own name, the
/// classes its constant pool names, and for module-info the module's name and main class.
/// One reader is reused for many files, so that its buffers are allocated once.
class ClassFileReader {
  public:
    /// False when `bytes` is not a well-formed class file as far as it is read (the constant
    /// pool, this_class and, for module-info, the attributes). The views point into `bytes`.
    bool Read(std::string_view bytes);

    unsigned major = 0;                ///< class file major version: 52 is Java 8, 61 Java 17
    std::string_view thisClass;        ///< internal form, "com/example/App"
    std::string_view moduleName;       ///< module-info only
    std::string_view moduleMainClass;  ///< module-info only, internal form
    /// Internal names of the classes the constant pool names: class entries (element types of
    /// array classes) and the class types of NameAndType and MethodType descriptors.
    std::vector<std::string_view> references;

  private:
    std::string_view Utf8(std::uint32_t index) const;
    std::string_view ClassName(std::uint32_t index) const;
    void AddDescriptor(std::string_view descriptor);
    bool ReadModuleAttributes(std::size_t at);

    std::string_view bytes_;
    std::vector<std::uint32_t> entries_;  // offset of each constant pool entry's tag
};

/// How much of a class file ClassFileReader::Read needs for a class other than module-info:
/// the header, the constant pool and this_class. Resumable, so that a stream being decoded
/// can be asked again as it grows.
class ClassFileExtent {
  public:
    /// 0 when `prefix` holds enough, or shows that it is no class file (Read then refuses
    /// it); else the size it must reach before it is worth asking again.
    std::size_t Needed(std::string_view prefix);

  private:
    std::uint32_t index_ = 1;
    std::uint32_t count_ = 0;
    std::size_t at_ = 10;
};

/// The Java version a class file's major version needs, as "Minimum Version" takes it ("1.8",
/// "17"); empty for a number that is not a Java class file version.
std::string_view JavaVersionOfClassFile(unsigned major);
