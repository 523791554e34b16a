#include "discovery/missing_runtime_dialog_win32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <filesystem>

#include "../hosting/modal_driver_win.h"
#include "core/format.h"
#include "core/launcher_win32.h"
#include "core/resources_win32.h"
#include "discovery/version_win32.h"
#include "core/path_utils.h"
#include "resources/resource_ids.h"
#include "ui/dialog_layout.h"
#include "ui/dpi_win32.h"

using namespace modal_driver;
namespace fs = std::filesystem;

namespace {

// Hands out prepared answers, one per Browse press; an empty answer is a cancelled picker.
class ScriptedPicker final : public FolderPicker {
  public:
    std::deque<std::optional<std::wstring>> answers;
    std::vector<std::wstring> titles;
    std::optional<std::wstring> PickFolder(HWND owner, const std::wstring& title) override {
        titles.push_back(title);
        EXPECT_NE(owner, nullptr);
        if (answers.empty()) return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

class MissingRuntimeDialogTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!CanCreateWindows()) GTEST_SKIP() << "no display: run under xvfb-run";
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        root_ = fs::path(temp) / (L"vmboot-dialog-" + std::to_wstring(::GetCurrentProcessId()));
        fs::remove_all(root_);
        Library(root_ / L"client" / L"bin" / L"client" / L"jvm.dll");
        Library(root_ / L"server" / L"bin" / L"server" / L"jvm.dll");
        fs::create_directories(root_ / L"empty");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    // A VM library the dialog accepts: a PE image for this build's processor.
    static void Library(const fs::path& file) {
        wchar_t self[MAX_PATH];
        std::wstring probe(self, ::GetModuleFileNameW(nullptr, self, MAX_PATH));
        probe = probe.substr(0, probe.rfind(L'\\') + 1) + L"tools\\" +
                (sizeof(void*) == 8 ? L"probe_x64.dll" : L"probe_x86.dll");
        fs::create_directories(file.parent_path());
        ASSERT_TRUE(::CopyFileW(probe.c_str(), file.c_str(), FALSE));
    }
    std::wstring Folder(const wchar_t* name) const { return (root_ / name).wstring(); }

    fs::path root_;
};

bool OkEnabled(HWND dialog) { return ::IsWindowEnabled(::GetDlgItem(dialog, IDOK)) != FALSE; }

}  // namespace

TEST_F(MissingRuntimeDialogTest, OkFollowsTheLastPickedFolder) {
    Launcher launcher;
    launcher.Criteria.JvmType = JvmTypeMode::AnyVm;
    ScriptedPicker picker;
    picker.answers = {Folder(L"empty"), Folder(L"client"), Folder(L"empty"), Folder(L"client"),
                      std::nullopt};
    std::wstring folder = L"untouched", library = L"untouched";
    INT_PTR result = RunModal(
        [&] {
            return ShowMissingRuntimeDialog(nullptr, launcher, L"message", picker, folder, library);
        },
        [&](HWND dialog) {
            EXPECT_FALSE(OkEnabled(dialog));
            EXPECT_EQ(Text(::GetDlgItem(dialog, IDC_MISSING_MESSAGE)), L"message");
            EXPECT_EQ(Text(::GetDlgItem(dialog, IDC_DOWNLOAD_LINK)), kJavaDownloadPage);
            const bool expectedAfter[] = {false, true, false, true, true};
            const std::wstring shownAfter[] = {Folder(L"empty"), Folder(L"client"),
                                               Folder(L"empty"), Folder(L"client"),
                                               Folder(L"client")};
            for (int i = 0; i < 5; ++i) {
                Press(dialog, IDC_BROWSE);
                EXPECT_EQ(OkEnabled(dialog), expectedAfter[i]) << "after pick " << i;
                EXPECT_EQ(Text(::GetDlgItem(dialog, IDC_JRE_PATH_EDIT)), shownAfter[i]);
            }
            Press(dialog, IDOK);
        });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(folder, Folder(L"client") + L"\\");
    EXPECT_EQ(library, Folder(L"client") + L"\\bin\\client\\jvm.dll");
    ASSERT_EQ(picker.titles.size(), 5u);
    EXPECT_EQ(picker.titles[0], LoadResourceText(IDS_BROWSE_FOR_JRE));
}

TEST_F(MissingRuntimeDialogTest, ServerOnlyRefusesAClientRuntime) {
    Launcher launcher;
    launcher.Criteria.JvmType = JvmTypeMode::ServerOnly;
    ScriptedPicker picker;
    picker.answers = {Folder(L"client"), Folder(L"server") + L"\\"};
    std::wstring folder, library;
    INT_PTR result = RunModal(
        [&] { return ShowMissingRuntimeDialog(nullptr, launcher, L"m", picker, folder, library); },
        [&](HWND dialog) {
            Press(dialog, IDC_BROWSE);
            EXPECT_FALSE(OkEnabled(dialog));
            Press(dialog, IDC_BROWSE);
            EXPECT_TRUE(OkEnabled(dialog));
            Press(dialog, IDOK);
        });
    EXPECT_EQ(result, IDOK);
    // A picked path that already ends in a backslash gets no second one.
    EXPECT_EQ(folder, Folder(L"server") + L"\\");
    EXPECT_EQ(library, Folder(L"server") + L"\\bin\\server\\jvm.dll");
}

TEST_F(MissingRuntimeDialogTest, CancelAndCloseBoxLeaveTheChoiceEmpty) {
    Launcher launcher;
    for (bool closeBox : {false, true}) {
        ScriptedPicker picker;
        picker.answers = {Folder(L"client")};
        std::wstring folder = L"untouched", library = L"untouched";
        INT_PTR result = RunModal(
            [&] {
                return ShowMissingRuntimeDialog(nullptr, launcher, L"m", picker, folder, library);
            },
            [&](HWND dialog) {
                Press(dialog, IDC_BROWSE);
                if (closeBox) {
                    ::SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
                } else {
                    Press(dialog, IDCANCEL);
                }
            });
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(folder, L"untouched");
        EXPECT_EQ(library, L"untouched");
    }
}

TEST_F(MissingRuntimeDialogTest, LongestMessagesFitInEveryBuiltLanguage) {
    Launcher launcher;
    VersionNumber minimum{{1, 6, 0, 0}, 4};
    VersionNumber maximum{{1, 8, 65535, 65535}, 4};
    for (LANGID language : BuiltLanguages()) {
        MessageLanguage scope(language);
        for (UINT id : {IDS_JRE_NOT_FOUND_SERVER, IDS_JRE_NOT_FOUND}) {
            std::wstring requirement = DescribeVersionRequirement(minimum, maximum);
            std::wstring message = FormatTemplate(LoadResourceText(id), {requirement});
            ScriptedPicker picker;
            std::wstring folder, library;
            RunModal(
                [&] {
                    return ShowMissingRuntimeDialog(nullptr, launcher, message, picker, folder,
                                                    library);
                },
                [&](HWND dialog) {
                    EXPECT_EQ(Text(::GetDlgItem(dialog, IDC_MISSING_MESSAGE)), message);
                    ExpectTextsFit(dialog, "missing-runtime dialog, language " +
                                               std::to_string(language) + ", string " +
                                               std::to_string(id));
                    Press(dialog, IDCANCEL);
                });
        }
    }
}

TEST_F(MissingRuntimeDialogTest, TheDialogGrowsForAVeryLongMessage) {
    Launcher launcher;
    std::wstring message;
    for (int i = 0; i < 30; ++i) message += L"A long requirement phrase, word after word. ";
    ScriptedPicker picker;
    std::wstring folder, library;
    const std::wstring texts[] = {L"short", message};
    RECT windows[2] = {};
    for (int i = 0; i < 2; ++i) {
        RunModal(
            [&] {
                return ShowMissingRuntimeDialog(nullptr, launcher, texts[i], picker, folder,
                                                library);
            },
            [&](HWND dialog) {
                ::GetWindowRect(dialog, &windows[i]);
                ExpectTextsFit(dialog, "message of " + std::to_string(texts[i].size()));
                Press(dialog, IDCANCEL);
            });
    }
    const RECT& shortWindow = windows[0];
    const RECT& longWindow = windows[1];
    EXPECT_EQ(longWindow.right - longWindow.left, shortWindow.right - shortWindow.left);
    EXPECT_GT(longWindow.bottom - longWindow.top, shortWindow.bottom - shortWindow.top + 40);
}

TEST_F(MissingRuntimeDialogTest, DryRunShowsNothing) {
    Launcher launcher;
    launcher.DryRun = true;
    std::wstring folder, library;
    EXPECT_FALSE(RunMissingRuntimeDialog(launcher, L"m", folder, library));
}

// A runtime deep in the file system can be picked; one whose VM library is for a processor
// no build runs (ARM64) cannot. Details shows the report lines and grows the dialog.
TEST_F(MissingRuntimeDialogTest, LongPathsArmLibrariesAndDetails) {
    wchar_t self[MAX_PATH];
    std::wstring tools(self, ::GetModuleFileNameW(nullptr, self, MAX_PATH));
    tools = tools.substr(0, tools.rfind(L'\\') + 1) + L"tools\\";
    auto copy = [](const std::wstring& from, const std::wstring& to) {
        for (std::size_t slash = to.find(L'\\', 3); slash != std::wstring::npos;
             slash = to.find(L'\\', slash + 1)) {
            ::CreateDirectoryW(ToLongPathForm(to.substr(0, slash)).c_str(), nullptr);
        }
        ASSERT_TRUE(::CopyFileW(from.c_str(), ToLongPathForm(to).c_str(), FALSE));
    };
    std::wstring deep = root_.wstring();
    while (deep.size() < 250) deep += L"\\a-rather-long-folder-name-for-a-runtime";
    const std::wstring own = tools + (sizeof(void*) == 8 ? L"probe_x64.dll" : L"probe_x86.dll");
    copy(own, deep + L"\\bin\\server\\jvm.dll");
    ASSERT_GE(deep.size() + 20, 260u);
    const std::wstring arm = Folder(L"arm");
    copy(tools + L"probe_x64.dll", arm + L"\\bin\\server\\jvm.dll");
    {
        UniqueFileHandle file(::CreateFileW((arm + L"\\bin\\server\\jvm.dll").c_str(),
                                            GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file);
        unsigned char header[0x40];
        DWORD done = 0;
        ::ReadFile(file.get(), header, sizeof header, &done, nullptr);
        const DWORD machineOffset = (header[0x3C] | (header[0x3D] << 8)) + 4;
        ::SetFilePointer(file.get(), static_cast<LONG>(machineOffset), nullptr, FILE_BEGIN);
        const unsigned char arm64[2] = {0x64, 0xAA};
        ::WriteFile(file.get(), arm64, 2, &done, nullptr);
    }

    Launcher launcher;
    ScriptedPicker picker;
    picker.answers = {arm, deep};
    const std::vector<std::wstring> report = {L"first line", L"second line"};
    std::wstring folder, library;
    INT_PTR result = RunModal(
        [&] {
            return ShowMissingRuntimeDialog(nullptr, launcher, L"m", picker, folder, library,
                                            report);
        },
        [&](HWND dialog) {
            HWND list = ::GetDlgItem(dialog, IDC_DETAILS_LIST);
            EXPECT_FALSE(::IsWindowVisible(list));
            EXPECT_EQ(Text(list), L"first line\r\nsecond line\r\n");
            RECT before{}, after{};
            ::GetWindowRect(dialog, &before);
            Press(dialog, IDC_DETAILS_BUTTON);
            ::GetWindowRect(dialog, &after);
            EXPECT_TRUE(::IsWindowVisible(list));
            EXPECT_GT(after.bottom - after.top, before.bottom - before.top);
            Press(dialog, IDC_DETAILS_BUTTON);
            ::GetWindowRect(dialog, &after);
            EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
            Press(dialog, IDC_BROWSE);
            EXPECT_FALSE(OkEnabled(dialog)) << "an ARM64 VM library";
            Press(dialog, IDC_BROWSE);
            EXPECT_TRUE(OkEnabled(dialog)) << "a runtime deeper than 260 characters";
            Press(dialog, IDOK);
        });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(library, deep + L"\\bin\\server\\jvm.dll");
    // The library's own removal cannot take paths this long: level by level, deepest first.
    ::DeleteFileW(ToLongPathForm(deep + L"\\bin\\server\\jvm.dll").c_str());
    for (std::wstring level = deep + L"\\bin\\server"; level.size() > root_.wstring().size();
         level.resize(level.rfind(L'\\'))) {
        ::RemoveDirectoryW(ToLongPathForm(level).c_str());
    }
}

TEST_F(MissingRuntimeDialogTest, DetailsFoldAwayToTheScaledSizeAfterADpiChange) {
    Launcher launcher;
    ScriptedPicker picker;
    const std::vector<std::wstring> report = {L"first line"};
    std::wstring folder, library;
    RunModal(
        [&] {
            return ShowMissingRuntimeDialog(nullptr, launcher, L"m", picker, folder, library,
                                            report);
        },
        [&](HWND dialog) {
            const UINT oldDpi = WindowDpi(dialog);
            const UINT newDpi = oldDpi * 3 / 2;
            RECT folded{};
            ::GetClientRect(dialog, &folded);
            Press(dialog, IDC_DETAILS_BUTTON);
            RECT window{}, client{};
            ::GetWindowRect(dialog, &window);
            ::GetClientRect(dialog, &client);
            RECT suggested{window.left, window.top,
                           window.right + ScaleForDpi(client.right, newDpi, oldDpi) - client.right,
                           window.bottom + ScaleForDpi(client.bottom, newDpi, oldDpi) -
                               client.bottom};
            ::SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(newDpi, newDpi),
                           reinterpret_cast<LPARAM>(&suggested));
            // The list's share of the height was scaled with the rest: hiding it again leaves
            // the dialog as tall as it was without it, at the new scale.
            Press(dialog, IDC_DETAILS_BUTTON);
            RECT after{};
            ::GetClientRect(dialog, &after);
            EXPECT_NEAR(after.bottom, ScaleForDpi(folded.bottom, newDpi, oldDpi), 1);
            ExpectTextsFit(dialog, "missing-runtime dialog at 150 %");
            Press(dialog, IDCANCEL);
        });
}
