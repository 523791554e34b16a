#include "check/init_config.h"

#include <gtest/gtest.h>

#include "check/jar_manifest.h"

TEST(InitialConfiguration, EveryManifestAttributeBecomesItsKey) {
    InitFacts facts;
    facts.jarFolder = "lib\\";
    facts.jarName = "app.jar";
    facts.folderJars = {"a.jar", "Extra One.jar", "z.jar"};
    // A manifest as the jar tool writes it: long values folded after 72 bytes.
    facts.manifest = ManifestMainAttributes(
        "Manifest-Version: 1.0\r\n"
        "Add-Opens: java.desktop/sun.awt java.base/java.lang java.base/java.util \r\n"
        " java.desktop/sun.awt.windows\r\n"
        "Add-Exports: java.base/sun.nio.ch\r\n"
        "Enable-Native-Access: ALL-UNNAMED\r\n"
        "Launcher-Agent-Class: com.example.Agent\r\n"
        "Premain-Class: com.example.Agent\r\n"
        "SplashScreen-Image: images/splash.png\r\n"
        "Class-Path: extra%20one.jar ../shared/b.jar\r\n"
        "Main-Class: com.example.App\r\n\r\n");
    facts.mainClassVersion = "11";
    facts.splashImage = "lib\\splash.png";
    EXPECT_EQ(
        InitialConfiguration(facts),
        "; Starting configuration written by vmbootcheck --init from the manifest of\n"
        "; lib\\app.jar. Save it beside the launcher as <launcher name>.ini; relative paths\n"
        "; below are relative to the launcher's folder (the folder --init ran in).\n\n"
        "[Java Runtime Environment]\n"
        "; From Main-Class.\n"
        "Main Class=com.example.App\n"
        "; The main class's file needs Java 11 or later.\n"
        "Minimum Version=11\n"
        "; From the manifest's Add-Opens, Add-Exports, Enable-Native-Access and\n"
        "; Launcher-Agent-Class, which only java -jar reads.\n"
        "Virtual Machine Parameters=--add-opens=java.desktop/sun.awt=ALL-UNNAMED "
        "--add-opens=java.base/java.lang=ALL-UNNAMED --add-opens=java.base/java.util=ALL-UNNAMED "
        "--add-opens=java.desktop/sun.awt.windows=ALL-UNNAMED "
        "--add-exports=java.base/sun.nio.ch=ALL-UNNAMED --enable-native-access=ALL-UNNAMED "
        "-javaagent:%QL_APP_HOME%\\lib\\app.jar\n\n"
        "[Class Path]\n"
        "; The jar, the jars its Class-Path names and the other jars of its folder.\n"
        "Class Path=lib\\app.jar;lib\\extra "
        "one.jar;lib\\..\\shared\\b.jar;lib\\a.jar;lib\\z.jar\n\n"
        "[Display]\n"
        "; SplashScreen-Image, taken out of the jar.\n"
        "Splash Screen=lib\\splash.png\n");
}

TEST(InitialConfiguration, ModularJarAgentWithoutPremainAndSplashNotes) {
    InitFacts facts;
    facts.jarFolder = "C:\\Program Files\\App\\";
    facts.jarName = "app.jar";
    facts.moduleName = "com.example.app";
    facts.moduleMainClass = "com.example.app.Main";
    facts.manifest = {{"Add-Opens", "java.base/java.lang"},
                      {"Launcher-Agent-Class", "com.example.app.Agent"},
                      {"SplashScreen-Image", "splash.gif"}};
    facts.splashNote = "not in the jar (or unreadable), so no splash screen is set";
    std::string text = InitialConfiguration(facts);
    // A module's packages are opened to itself, and it starts from the module path.
    EXPECT_NE(text.find("\nMain Module=com.example.app/com.example.app.Main\n"), std::string::npos)
        << text;
    EXPECT_NE(
        text.find("\nVirtual Machine Parameters=--add-opens=java.base/java.lang=com.example.app\n"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("\nModule Path=C:\\Program Files\\App\\app.jar\n"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("Main Class="), std::string::npos) << text;
    EXPECT_EQ(text.find("[Class Path]"), std::string::npos) << text;
    // -javaagent: needs a Premain-Class, which this jar lacks: said, not written as an option.
    EXPECT_NE(text.find("; add \"-javaagent:C:\\Program Files\\App\\app.jar\" here.\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("\n-javaagent"), std::string::npos) << text;
    EXPECT_NE(text.find("; SplashScreen-Image splash.gif: not in the jar"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("Splash Screen="), std::string::npos) << text;
    EXPECT_EQ(text.find("Minimum Version"), std::string::npos) << text;
}
