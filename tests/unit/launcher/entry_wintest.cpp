// The entry point's sequence: the current directory leaves the DLL search order before any
// stage of the launch runs, on every path a launch can take. Each case is a dry run (no
// dialog, nothing written); a DLL directory set beforehand stands for the state a process
// starts in, and the first decision of the launch records what the search order was then.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/decision_log.h"
#include "launcher/launch_sequence_win32.h"
#include "launcher/launcher_entry_win32.h"
#include "tests/unit/temp_folder_win32.h"

using test_support::TempFolder;

namespace {

class FirstDecision : public DecisionLog {
public:
    void Record(Decision decision) override {
        if (seen) return;
        seen = true;
        stage = decision.stage;
        wchar_t buffer[MAX_PATH] = {};
        DWORD length = ::GetDllDirectoryW(MAX_PATH, buffer);
        dllDirectory.assign(buffer, length);
    }
    bool seen = false;
    std::string stage;
    std::wstring dllDirectory;
};

void WriteText(const std::wstring& path, const char* text) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(file, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
    ::CloseHandle(file);
}

}  // namespace

TEST(LauncherEntry, CurrentDirectoryLeavesTheDllSearchBeforeAnyStage) {
    TempFolder folder;
    const std::wstring exe = folder.Path() + L"\\app.exe";
    struct Case {
        const char* name;
        const char* ini;  ///< null: no configuration file beside the executable
        std::wstring executable;
        int expected;
    };
    const Case cases[] = {
        // No "." anywhere in the path: no configuration path, -1 at the first stage.
        {"no configuration path", nullptr, folder.Path() + L"\\noextension", -1},
        {"main class missing", "[Java Runtime Environment]\r\nJRE Path=none\r\n", exe, -1},
        {"no runtime found", "[Java Runtime Environment]\r\nMain Class=app.Main\r\n"
                             "JRE Path=none\r\nJVM Source=list\r\n", exe, -1},
        {"single instance", "[Java Runtime Environment]\r\nMain Class=app.Main\r\n"
                            "[Application]\r\nSingle Instance=yes\r\n", exe, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.ini) WriteText(folder.Path() + L"\\app.ini", c.ini);
        ASSERT_TRUE(::SetDllDirectoryW(folder.Path().c_str()));
        FirstDecision log;
        LaunchSequence launcher;
        launcher.ExecutablePathOverride = c.executable;
        launcher.CommandLine = L"\"" + c.executable + L"\" one";
        launcher.DryRun = true;
        launcher.Decisions = &log;
        int code = RunLauncherEntry(launcher);
        if (c.expected == -1) {
            EXPECT_EQ(code, -1);
        }
        ASSERT_TRUE(log.seen);
        EXPECT_EQ(log.dllDirectory, L"") << "at the first decision, of stage " << log.stage;
        ::DeleteFileW((folder.Path() + L"\\app.ini").c_str());
    }
    ::SetDllDirectoryW(nullptr);
}
