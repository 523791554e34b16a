// The single-instance protocol between launchers in one test process: each "second start"
// is a thread with its own Launcher and message queue, the primary's VM is a small fake
// that records secondaryMain calls. Names derive from a per-test executable path, so tests
// never meet each other's blocks.

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>
#include <jni.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/decision_log.h"
#include "core/launcher_win32.h"
#include "instance/instance_security_win32.h"
#include "instance/single_instance.h"
#include "instance/single_instance_win32.h"

namespace {

// Workers end on their own once they have answered; a test that counts detaches waits.
bool WaitUntil(const std::atomic<int>& value, int expected) {
    for (int i = 0; i < 500 && value.load() != expected; ++i) ::Sleep(10);
    return value.load() == expected;
}

// ---- A fake VM: just what the worker and NewJavaStringArray use -----------------------------

struct FakeObject {
    std::vector<jchar> Chars;
    std::vector<FakeObject*> Items;
};

struct FakeJava {
    std::mutex Lock;
    std::deque<FakeObject> Objects;
    std::vector<std::vector<std::wstring>> Calls;
    bool IntForm = true;
    std::atomic<int> Attached{0};
    std::atomic<int> Detached{0};
    // secondaryMain calls running at once, and the most seen.
    std::atomic<int> Active{0};
    std::atomic<int> MostActive{0};
    // When set, each secondaryMain call waits for it: a call that keeps the user busy.
    HANDLE Busy = nullptr;

    jobject New() {
        std::lock_guard<std::mutex> guard(Lock);
        Objects.emplace_back();
        return reinterpret_cast<jobject>(&Objects.back());
    }
};

FakeJava* g_java = nullptr;
FakeObject* Of(jobject object) { return reinterpret_cast<FakeObject*>(object); }
jclass const kMainClass = reinterpret_cast<jclass>(0x1000);
jclass const kStringClass = reinterpret_cast<jclass>(0x2000);
jmethodID const kSecondaryMain = reinterpret_cast<jmethodID>(0x3000);
jmethodID const kConstructor = reinterpret_cast<jmethodID>(0x4000);

// Answers secondaryMain with a number derived from its first argument, so that a test can
// tell whose answer reached which start.
jint AnswerFor(const std::vector<std::wstring>& args) {
    if (args.empty() || args[0].empty()) return -5;
    return 1000 + static_cast<jint>(std::wcstol(args[0].c_str(), nullptr, 10));
}

std::vector<std::wstring> Record(jobject array) {
    if (g_java->Busy) ::WaitForSingleObject(g_java->Busy, INFINITE);
    int active = ++g_java->Active;
    for (int most = g_java->MostActive.load(); active > most;)
        g_java->MostActive.compare_exchange_weak(most, active);
    ::Sleep(2);
    --g_java->Active;
    std::vector<std::wstring> args;
    for (FakeObject* item : Of(array)->Items) {
        args.emplace_back(item->Chars.begin(), item->Chars.end());
    }
    std::lock_guard<std::mutex> guard(g_java->Lock);
    g_java->Calls.push_back(args);
    return args;
}

jclass JNICALL FindClass(JNIEnv*, const char* name) {
    if (std::strcmp(name, "java/lang/String") == 0) return kStringClass;
    return std::strcmp(name, "app/Main") == 0 ? kMainClass : nullptr;
}
jmethodID JNICALL GetMethodID(JNIEnv*, jclass, const char*, const char*) { return kConstructor; }
jmethodID JNICALL GetStaticMethodID(JNIEnv*, jclass, const char* name, const char* signature) {
    bool wantInt = signature[std::strlen(signature) - 1] == 'I';
    if (std::strcmp(name, "secondaryMain") != 0 || wantInt != g_java->IntForm) return nullptr;
    return kSecondaryMain;
}
jthrowable JNICALL ExceptionOccurred(JNIEnv*) { return nullptr; }
jboolean JNICALL ExceptionCheck(JNIEnv*) { return JNI_FALSE; }
void JNICALL ExceptionClear(JNIEnv*) {}
void JNICALL ExceptionDescribe(JNIEnv*) {}
void JNICALL DeleteLocalRef(JNIEnv*, jobject) {}
jobjectArray JNICALL NewObjectArray(JNIEnv*, jsize length, jclass, jobject) {
    jobject array = g_java->New();
    Of(array)->Items.resize(static_cast<std::size_t>(length));
    return static_cast<jobjectArray>(array);
}
jcharArray JNICALL NewCharArray(JNIEnv*, jsize length) {
    jobject chars = g_java->New();
    Of(chars)->Chars.resize(static_cast<std::size_t>(length));
    return static_cast<jcharArray>(chars);
}
void JNICALL SetCharArrayRegion(JNIEnv*, jcharArray array, jsize start, jsize length,
                                const jchar* units) {
    std::copy(units, units + length, Of(array)->Chars.begin() + start);
}
jobject JNICALL NewObjectV(JNIEnv*, jclass, jmethodID, va_list args) {
    jobject chars = va_arg(args, jobject);
    jobject text = g_java->New();
    Of(text)->Chars = Of(chars)->Chars;
    return text;
}
void JNICALL SetObjectArrayElement(JNIEnv*, jobjectArray array, jsize index, jobject value) {
    Of(array)->Items[static_cast<std::size_t>(index)] = Of(value);
}
jint JNICALL CallStaticIntMethodV(JNIEnv*, jclass, jmethodID, va_list args) {
    return AnswerFor(Record(va_arg(args, jobject)));
}
void JNICALL CallStaticVoidMethodV(JNIEnv*, jclass, jmethodID, va_list args) {
    Record(va_arg(args, jobject));
}

JNINativeInterface_ MakeEnvTable() {
    JNINativeInterface_ table;
    std::memset(&table, 0, sizeof(table));
    table.FindClass = FindClass;
    table.GetMethodID = GetMethodID;
    table.GetStaticMethodID = GetStaticMethodID;
    table.ExceptionOccurred = ExceptionOccurred;
    table.ExceptionCheck = ExceptionCheck;
    table.ExceptionClear = ExceptionClear;
    table.ExceptionDescribe = ExceptionDescribe;
    table.DeleteLocalRef = DeleteLocalRef;
    table.NewObjectArray = NewObjectArray;
    table.NewCharArray = NewCharArray;
    table.SetCharArrayRegion = SetCharArrayRegion;
    table.NewObjectV = NewObjectV;
    table.SetObjectArrayElement = SetObjectArrayElement;
    table.CallStaticIntMethodV = CallStaticIntMethodV;
    table.CallStaticVoidMethodV = CallStaticVoidMethodV;
    return table;
}
const JNINativeInterface_ g_envTable = MakeEnvTable();
JNIEnv g_env{&g_envTable};

jint JNICALL AttachCurrentThread(JavaVM*, void** env, void*) {
    ++g_java->Attached;
    *env = &g_env;
    return JNI_OK;
}
jint JNICALL DetachCurrentThread(JavaVM*) {
    ++g_java->Detached;
    return JNI_OK;
}
jint JNICALL DestroyJavaVM(JavaVM*) { return JNI_OK; }

JNIInvokeInterface_ MakeVmTable() {
    JNIInvokeInterface_ table;
    std::memset(&table, 0, sizeof(table));
    table.AttachCurrentThread = AttachCurrentThread;
    table.DetachCurrentThread = DetachCurrentThread;
    table.DestroyJavaVM = DestroyJavaVM;
    return table;
}
const JNIInvokeInterface_ g_vmTable = MakeVmTable();
JavaVM g_vm{&g_vmTable};

// ---- Fixture: a launcher folder with its .ini ------------------------------------------------

class CollectingLog : public DecisionLog {
  public:
    void Record(Decision decision) override { Decisions.push_back(std::move(decision)); }
    const Decision* Find(const std::string& what) const {
        for (const auto& d : Decisions) {
            if (d.stage == "instance" && d.what == what) return &d;
        }
        return nullptr;
    }
    static std::wstring Field(const Decision& d, const std::string& name) {
        for (const auto& [key, value] : d.fields) {
            if (key == name) return value;
        }
        return L"<missing>";
    }
    std::vector<Decision> Decisions;
};

class SingleInstanceProtocol : public testing::Test {
  protected:
    void SetUp() override {
        g_java = &java_;
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        static std::atomic<int> counter{0};
        folder_ = std::wstring(temp) + L"vmboot-instance-" +
                  std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
        ::CreateDirectoryW(folder_.c_str(), nullptr);
        exe_ = folder_ + L"\\app.exe";
        ini_ = folder_ + L"\\app.ini";
        WriteIni(L"", L"yes");
    }
    void TearDown() override {
        ::DeleteFileW(ini_.c_str());
        ::RemoveDirectoryW(folder_.c_str());
        g_java = nullptr;
    }

    void WriteIni(const wchar_t* type, const wchar_t* single) {
        ::WritePrivateProfileStringW(L"Application", L"Application Type", type, ini_.c_str());
        ::WritePrivateProfileStringW(L"Application", L"Single Instance", single, ini_.c_str());
        ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, ini_.c_str());
    }

    void Prepare(Launcher& launcher, std::vector<std::wstring> args = {}) {
        launcher.ExecutablePathOverride = exe_;
        // Messages go to standard error: a message box would hold the test.
        launcher.Console = true;
        launcher.MainClassName = L"app/Main";
        launcher.ApplicationArguments = std::move(args);
    }

    std::unique_ptr<Launcher> StartPrimary() {
        auto primary = std::make_unique<Launcher>();
        Prepare(*primary);
        EXPECT_TRUE(InitSingleInstance(*primary));
        EXPECT_TRUE(primary->SingleInstanceEnabled);
        EXPECT_TRUE(primary->IsPrimaryInstance);
        primary->JavaVmPointer = &g_vm;
        return primary;
    }

    // What RunSecond returns for a start that runs the program itself (it became the primary,
    // or runs on its own).
    static constexpr int kRunsItself = -1000000;

    // A second start on a thread of its own (a thread with a message queue, as the entry
    // point makes one); returns its exit code.
    int RunSecond(std::vector<std::wstring> args, DecisionLog* log = nullptr) {
        MSG message;
        ::PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
        Launcher second;
        Prepare(second, std::move(args));
        second.Decisions = log;
        if (!InitSingleInstance(second)) return -1;
        EXPECT_TRUE(second.SingleInstanceEnabled);
        EXPECT_FALSE(second.IsPrimaryInstance);
        int code = 0;
        return WaitForPrimaryInstance(second, code) ? code : kRunsItself;
    }

    static std::wstring UserSid() {
        ProcessUser user;
        EXPECT_TRUE(user.Load());
        return user.SidText();
    }
    InstanceNames Names() const { return InstanceNamesFor(exe_, UserSid()); }
    // What the launcher gives its objects: owned by and open to the user alone.
    static std::wstring UserDescriptor() {
        std::wstring sid = UserSid();
        return L"O:" + sid + L"D:P(A;;GA;;;" + sid + L")";
    }
    std::wstring InstanceName() const { return Names().Instance; }

    // A block written by hand, as another program could: its mapping (with the given
    // security descriptor, or the system's default), the process and listener it names.
    struct HandMadeBlock {
        UniqueHandle Mapping;
        UniqueMappedView View;
        InstanceBlock* Block = nullptr;
    };
    HandMadeBlock MakeBlock(const wchar_t* descriptor, DWORD processId, DWORD listenerId) {
        HandMadeBlock made;
        PSECURITY_DESCRIPTOR sd = nullptr;
        SECURITY_ATTRIBUTES attributes{sizeof(attributes), nullptr, FALSE};
        if (descriptor) {
            EXPECT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                descriptor, SDDL_REVISION_1, &sd, nullptr));
            attributes.lpSecurityDescriptor = sd;
        }
        made.Mapping.reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, descriptor ? &attributes : nullptr,
                                                PAGE_READWRITE, 0, kInstanceBlockSize,
                                                InstanceName().c_str()));
        if (sd) ::LocalFree(sd);
        EXPECT_TRUE(made.Mapping);
        made.View.reset(
            ::MapViewOfFile(made.Mapping.get(), FILE_MAP_WRITE, 0, 0, kInstanceBlockSize));
        EXPECT_TRUE(made.View);
        made.Block = static_cast<InstanceBlock*>(made.View.get());
        if (made.Block) {
            made.Block->PrimaryProcessId = processId;
            made.Block->InstanceMessage = ::RegisterWindowMessageW(kInstanceMessageName);
            made.Block->ListenerThreadId = listenerId;
        }
        return made;
    }

    // A start that meets the block: whether it stayed in the protocol, and its exit code
    // when it did (the hand-over) or 0 when it runs as its own instance.
    struct StartOutcome {
        bool Handed = false;
        int Code = 0;
        DWORD Milliseconds = 0;
    };
    StartOutcome StartBeside(std::vector<std::wstring> args) {
        StartOutcome outcome;
        std::thread([&] {
            MSG message;
            ::PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
            ULONGLONG started = ::GetTickCount64();
            Launcher start;
            Prepare(start, std::move(args));
            EXPECT_TRUE(InitSingleInstance(start));
            outcome.Handed = start.SingleInstanceEnabled && !start.IsPrimaryInstance;
            if (outcome.Handed) {
                EXPECT_TRUE(WaitForPrimaryInstance(start, outcome.Code));
            }
            outcome.Milliseconds = static_cast<DWORD>(::GetTickCount64() - started);
        }).join();
        return outcome;
    }

    FakeJava java_;
    std::wstring folder_, exe_, ini_;
};

TEST_F(SingleInstanceProtocol, ConcurrentStartsEachGetTheirOwnAnswer) {
    auto primary = StartPrimary();
    constexpr int kStarts = 20;
    std::vector<int> codes(kStarts, 12345);
    std::vector<std::thread> starts;
    for (int i = 0; i < kStarts; ++i) {
        starts.emplace_back([&, i] {
            codes[i] = RunSecond({std::to_wstring(i), L"tail" + std::to_wstring(i)});
        });
    }
    // Main starts while hand-overs are already queued: they are served from then on.
    ::Sleep(200);
    EXPECT_TRUE(java_.Calls.empty());
    ::SetEvent(primary->MainStartedEvent.get());
    for (auto& start : starts) start.join();

    std::map<std::wstring, int> seen;
    for (const auto& call : java_.Calls) {
        ASSERT_EQ(call.size(), 2u);
        EXPECT_EQ(call[1], L"tail" + call[0]) << "arguments of two starts mixed";
        ++seen[call[0]];
    }
    EXPECT_EQ(java_.Calls.size(), static_cast<std::size_t>(kStarts));
    for (int i = 0; i < kStarts; ++i) {
        EXPECT_EQ(codes[i], 1000 + i) << "start " << i;
        EXPECT_EQ(seen[std::to_wstring(i)], 1) << "start " << i;
    }
    EXPECT_TRUE(WaitUntil(java_.Detached, kStarts));
    EXPECT_EQ(java_.Attached.load(), kStarts);
    EXPECT_EQ(java_.MostActive.load(), 1) << "secondaryMain ran on two threads at once";
}

TEST_F(SingleInstanceProtocol, ForwardedArgumentShapes) {
    auto primary = StartPrimary();
    ::SetEvent(primary->MainStartedEvent.get());
    struct Case {
        std::vector<std::wstring> sent;
        std::vector<std::wstring> delivered;
        int code;
    };
    const Case cases[] = {
        {{}, {}, -5},
        {{L"7", L"", L"b", L""}, {L"7", L"", L"b", L""}, 1007},
        {{L"42", L"\u00e4 \u65e5"}, {L"42", L"\u00e4 \u65e5"}, 1042},
    };
    for (const auto& c : cases) {
        java_.Calls.clear();
        int code = 0;
        std::thread([&] { code = RunSecond(c.sent); }).join();
        EXPECT_EQ(code, c.code);
        ASSERT_EQ(java_.Calls.size(), 1u);
        EXPECT_EQ(java_.Calls[0], c.delivered);
    }
}

// Arguments longer than a block arrive whole, in several blocks of one hand-over.
TEST_F(SingleInstanceProtocol, LongArgumentsArriveWhole) {
    auto primary = StartPrimary();
    ::SetEvent(primary->MainStartedEvent.get());
    const std::vector<std::wstring> sent = {L"9", std::wstring(700, L'x'), std::wstring(3000, L'y')};
    int code = 0;
    std::thread([&] { code = RunSecond(sent); }).join();
    EXPECT_EQ(code, 1009);
    ASSERT_EQ(java_.Calls.size(), 1u);
    EXPECT_EQ(java_.Calls[0], sent);
}

// Void-form starts end once their arguments are queued, also behind a call that keeps the
// user busy; the calls still run one at a time in arrival order.
TEST_F(SingleInstanceProtocol, VoidFormStartsEndOnceQueuedAndKeepTheirOrder) {
    java_.IntForm = false;
    UniqueHandle busy(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    java_.Busy = busy.get();
    auto primary = StartPrimary();
    ::SetEvent(primary->MainStartedEvent.get());
    for (const wchar_t* name : {L"v1", L"v2", L"v3"}) {
        ULONGLONG started = ::GetTickCount64();
        int code = 1;
        std::thread([&] { code = RunSecond({name}); }).join();
        EXPECT_EQ(code, 0) << name;
        EXPECT_LT(::GetTickCount64() - started, 3000u) << name << " waited for the busy call";
    }
    EXPECT_TRUE(java_.Calls.empty());
    ::SetEvent(busy.get());
    ASSERT_TRUE(WaitUntil(java_.Detached, 3));
    const std::vector<std::vector<std::wstring>> expected = {{L"v1"}, {L"v2"}, {L"v3"}};
    EXPECT_EQ(java_.Calls, expected);
    java_.Busy = nullptr;
}

TEST_F(SingleInstanceProtocol, SettingsThatLeaveTheProtocolOff) {
    struct Case {
        const wchar_t* type;
        const wchar_t* single;
    };
    const Case cases[] = {{L"", L"Yes"}, {L"", L"YES"}, {L"", L""}, {L"service", L"yes"}};
    for (const auto& c : cases) {
        WriteIni(c.type, c.single);
        Launcher first, second;
        Prepare(first);
        Prepare(second);
        EXPECT_TRUE(InitSingleInstance(first));
        EXPECT_TRUE(InitSingleInstance(second));
        EXPECT_FALSE(first.SingleInstanceEnabled);
        EXPECT_FALSE(second.SingleInstanceEnabled);
        UniqueHandle mapping(::OpenFileMappingW(FILE_MAP_READ, FALSE, InstanceName().c_str()));
        EXPECT_FALSE(mapping) << "a block was made for "
                              << testing::PrintToString(std::wstring(c.single));
    }
}

TEST_F(SingleInstanceProtocol, DryRunCreatesNothingAndReportsTheRole) {
    CollectingLog log;
    {
        Launcher dry;
        Prepare(dry);
        dry.DryRun = true;
        dry.Decisions = &log;
        EXPECT_TRUE(InitSingleInstance(dry));
        ASSERT_NE(log.Find("role"), nullptr);
        EXPECT_EQ(CollectingLog::Field(*log.Find("role"), "role"), L"primary");
        ASSERT_NE(log.Find("names"), nullptr);
        EXPECT_EQ(CollectingLog::Field(*log.Find("names"), "mapping"), InstanceName());
        UniqueHandle mapping(::OpenFileMappingW(FILE_MAP_READ, FALSE, InstanceName().c_str()));
        EXPECT_FALSE(mapping);
        UniqueHandle event(
            ::OpenEventW(SYNCHRONIZE, FALSE, Names().MainStartedEvent.c_str()));
        EXPECT_FALSE(event);
    }
    auto primary = StartPrimary();
    log.Decisions.clear();
    Launcher dry;
    Prepare(dry, {L"1"});
    dry.DryRun = true;
    dry.Decisions = &log;
    EXPECT_TRUE(InitSingleInstance(dry));
    EXPECT_FALSE(dry.IsPrimaryInstance);
    int code = -1;
    EXPECT_TRUE(WaitForPrimaryInstance(dry, code));
    EXPECT_EQ(code, 0);
    ASSERT_NE(log.Find("role"), nullptr);
    EXPECT_EQ(CollectingLog::Field(*log.Find("role"), "role"), L"second");
    EXPECT_EQ(CollectingLog::Field(*log.Find("role"), "primaryProcessId"),
              std::to_wstring(::GetCurrentProcessId()));
    ::SetEvent(primary->MainStartedEvent.get());
    ::Sleep(100);
    EXPECT_TRUE(java_.Calls.empty()) << "a dry run posted a hand-over";
}

// A primary that has made the block but not yet published its listener: the second start
// waits for the identifier instead of failing. The "primary" here is written by hand from
// the layout alone, as another copy of the launcher would.
TEST_F(SingleInstanceProtocol, SecondStartWaitsForListenerToBePublished) {
    HandMadeBlock made = MakeBlock(UserDescriptor().c_str(), ::GetCurrentProcessId(), 0);
    ASSERT_TRUE(made.Block);
    InstanceBlock* block = made.Block;
    UINT message = block->InstanceMessage;
    UINT ack = ::RegisterWindowMessageW(kHandOverAckMessageName);

    int code = 0;
    std::thread second([&] { code = RunSecond({L"late"}); });
    ::Sleep(300);  // the second start is now waiting on a zero identifier

    std::vector<std::wstring> received;
    std::thread listener([&] {
        MSG msg;
        ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
        std::atomic_ref<std::uint32_t>(block->ListenerThreadId).store(::GetCurrentThreadId());
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (msg.message != message) continue;
            std::vector<std::uint16_t> stream;
            AppendArgumentChunk(*block, stream);
            EXPECT_TRUE(ParseForwardedArguments(stream, received));
            auto requester = static_cast<DWORD>(msg.wParam);
            ::PostThreadMessageW(requester, ack, 0, 0);
            ::PostThreadMessageW(requester, message, static_cast<WPARAM>(-7), 0);
            break;
        }
    });
    second.join();
    listener.join();
    EXPECT_EQ(code, -7);
    EXPECT_EQ(received, std::vector<std::wstring>{L"late"});
}

// A request nobody wrote arguments for (a forged post, or the same request replayed after it
// was served) reaches no secondaryMain and gets no answer: the primary clears the arguments
// once it has copied them.
TEST_F(SingleInstanceProtocol, ForgedAndReplayedRequestsReachNoSecondaryMain) {
    auto primary = StartPrimary();
    ::SetEvent(primary->MainStartedEvent.get());
    DWORD listener = primary->Block()->ListenerThreadId;
    UINT message = primary->Block()->InstanceMessage;
    auto forge = [&] {
        int answers = 0;
        std::thread([&] {
            MSG msg;
            ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
            ASSERT_TRUE(::PostThreadMessageW(listener, message, ::GetCurrentThreadId(), 0));
            ::Sleep(500);
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ++answers;
        }).join();
        return answers;
    };
    EXPECT_EQ(forge(), 0);
    EXPECT_TRUE(java_.Calls.empty()) << "a forged request reached secondaryMain";

    EXPECT_EQ(RunSecond({L"7", L"secret"}), 1007);
    ASSERT_EQ(java_.Calls.size(), 1u);
    for (std::size_t i = 0; i + 1 < kArgumentAreaUnits; ++i) {
        ASSERT_EQ(primary->Block()->Arguments[i], 0u) << "arguments left in the block at " << i;
    }
    EXPECT_EQ(forge(), 0);
    EXPECT_EQ(java_.Calls.size(), 1u) << "a replayed request reached secondaryMain";
}

// Blocks this user's starts must not trust: they run as instances of their own, at once,
// instead of waiting on (or handing their arguments to) whoever made the block.
TEST_F(SingleInstanceProtocol, UntrustedBlocksLeaveTheStartOnItsOwn) {
    // Another program's process as the "primary": a suspended copy of the system's cmd.exe.
    wchar_t system[MAX_PATH];
    ::GetSystemDirectoryW(system, MAX_PATH);
    std::wstring commandLine = std::wstring(L"\"") + system + L"\\cmd.exe\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION other{};
    ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                                 CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                                 &other));
    UniqueHandle otherProcess(other.hProcess), otherThread(other.hThread);
    auto killOther = [&] { ::TerminateProcess(otherProcess.get(), 0); };

    struct Case {
        const char* name;
        const wchar_t* descriptor;
        DWORD processId;
        DWORD listenerId;
    };
    std::wstring ours = UserDescriptor();
    const Case cases[] = {
        // Made first by another owner, naming this very process as the primary.
        {"block of another owner", L"O:SYD:(A;;GA;;;WD)", ::GetCurrentProcessId(), 0},
        // The user's own block, but the recorded process runs another program.
        {"process of another program", ours.c_str(), other.dwProcessId, other.dwThreadId},
        // This executable's process, but a listener that is none of its threads.
        {"listener of another process", ours.c_str(), ::GetCurrentProcessId(), other.dwThreadId},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HandMadeBlock made = MakeBlock(c.descriptor, c.processId, c.listenerId);
        ASSERT_TRUE(made.Block);
        StartOutcome outcome = StartBeside({L"mine"});
        EXPECT_FALSE(outcome.Handed);
        EXPECT_LT(outcome.Milliseconds, 5000u);
        // Nothing was written into the foreign block.
        EXPECT_EQ(made.Block->Arguments[0], 0u);
    }
    killOther();
    EXPECT_TRUE(java_.Calls.empty());
}

// A start that died holding the hand-over lock leaves it abandoned; the next start takes it
// over and is served.
TEST_F(SingleInstanceProtocol, AbandonedHandOverLockIsTakenOver) {
    auto primary = StartPrimary();
    ::SetEvent(primary->MainStartedEvent.get());
    std::thread([&] {
        // Held and never released: the thread ends as a killed start's would.
        PSECURITY_DESCRIPTOR sd = nullptr;
        ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            UserDescriptor().c_str(), SDDL_REVISION_1, &sd, nullptr));
        SECURITY_ATTRIBUTES attributes{sizeof(attributes), sd, FALSE};
        HANDLE lock = ::CreateMutexW(&attributes, TRUE, Names().HandOverLock.c_str());
        ::LocalFree(sd);
        ASSERT_NE(lock, nullptr);
    }).join();
    EXPECT_EQ(RunSecond({L"5"}), 1005);
    ASSERT_EQ(java_.Calls.size(), 1u);
    EXPECT_EQ(java_.Calls[0], std::vector<std::wstring>{L"5"});
}

// A hand-over lock made first by another owner: the start runs on its own instead of ending
// with -1, as for the protocol's other objects.
TEST_F(SingleInstanceProtocol, HandOverLockOfAnotherOwnerLeavesTheStartOnItsOwn) {
    auto primary = StartPrimary();
    ::SetEvent(primary->MainStartedEvent.get());
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"O:SYD:(A;;GA;;;WD)", SDDL_REVISION_1, &sd, nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), sd, FALSE};
    UniqueHandle lock(::CreateMutexW(&attributes, FALSE, Names().HandOverLock.c_str()));
    ::LocalFree(sd);
    ASSERT_TRUE(lock);
    int code = 0;
    std::thread([&] { code = RunSecond({L"1"}); }).join();
    EXPECT_EQ(code, kRunsItself);
    EXPECT_TRUE(java_.Calls.empty());
}

// A primary that leaves the protocol before main (its launch failed, or it hands the launch
// to the pair product) sends a waiting start back to choose its role: it becomes the primary
// itself, and so does the next start after it.
TEST_F(SingleInstanceProtocol, LeavingBeforeMainMakesTheWaitingStartThePrimary) {
    auto primary = StartPrimary();
    int code = 0;
    std::thread second([&] { code = RunSecond({L"3"}); });
    ::Sleep(500);  // acknowledged, its hand-over waiting for main
    LeaveSingleInstance(*primary);
    EXPECT_FALSE(primary->SingleInstanceEnabled);
    second.join();
    EXPECT_EQ(code, kRunsItself);
    EXPECT_TRUE(java_.Calls.empty());
    auto next = StartPrimary();
    EXPECT_TRUE(next->IsPrimaryInstance);
}

// A primary whose acknowledgement never arrives (an elevated second start whose filter is
// missing, a primary that hangs): the second start gives up after a bounded wait with -1
// instead of waiting as long as the primary lives.
TEST_F(SingleInstanceProtocol, UnacknowledgedHandOverEndsWithinItsBound) {
    HandMadeBlock made = MakeBlock(UserDescriptor().c_str(), ::GetCurrentProcessId(), 0);
    ASSERT_TRUE(made.Block);
    std::atomic<bool> received{false};
    HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread listener([&] {
        MSG msg;
        ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
        std::atomic_ref<std::uint32_t>(made.Block->ListenerThreadId).store(::GetCurrentThreadId());
        while (::MsgWaitForMultipleObjects(1, &done, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == made.Block->InstanceMessage) received = true;
            }
        }
    });
    ULONGLONG started = ::GetTickCount64();
    int code = 0;
    CollectingLog log;
    std::thread([&] { code = RunSecond({L"unheard"}, &log); }).join();
    ULONGLONG elapsed = ::GetTickCount64() - started;
    ::SetEvent(done);
    listener.join();
    ::CloseHandle(done);
    EXPECT_TRUE(received.load());
    EXPECT_EQ(code, -1);
    EXPECT_NE(log.Find("not-accepted"), nullptr) << "ended without saying why";
    EXPECT_GE(elapsed, 25000u);
    EXPECT_LT(elapsed, 45000u);
}

// Each named object of the protocol is owned by the user (named explicitly, so that an
// elevated start's objects are trusted by plain ones) and labelled medium integrity with
// no-write-up and no-read-up. The lock is read while a hand-over holds it open.
TEST_F(SingleInstanceProtocol, EveryObjectIsOwnedByTheUserAndLabelled) {
    UniqueHandle busy(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    java_.Busy = busy.get();
    auto primary = StartPrimary();
    ::SetEvent(primary->MainStartedEvent.get());
    int code = 0;
    std::thread second([&] { code = RunSecond({L"4"}); });
    ProcessUser user;
    ASSERT_TRUE(user.Load());
    InstanceNames names = Names();
    struct Object {
        const wchar_t* kind;
        UniqueHandle handle;
    };
    Object objects[] = {
        {L"mapping", UniqueHandle(::OpenFileMappingW(READ_CONTROL, FALSE, names.Instance.c_str()))},
        {L"event", UniqueHandle(::OpenEventW(READ_CONTROL, FALSE, names.MainStartedEvent.c_str()))},
        {L"lock", UniqueHandle()},
    };
    for (int i = 0; i < 500 && !objects[2].handle; ++i, ::Sleep(10))
        objects[2].handle.reset(::OpenMutexW(READ_CONTROL, FALSE, names.HandOverLock.c_str()));
    for (const Object& object : objects) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(object.kind)));
        ASSERT_TRUE(object.handle);
        PSID owner = nullptr;
        PACL labels = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_EQ(::GetSecurityInfo(object.handle.get(), SE_KERNEL_OBJECT,
                                    OWNER_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION,
                                    &owner, nullptr, nullptr, &labels, &descriptor),
                  static_cast<DWORD>(ERROR_SUCCESS));
        UniqueLocalMemory held(descriptor);
        ASSERT_NE(owner, nullptr);
        EXPECT_TRUE(::EqualSid(owner, user.Sid()));
        ASSERT_NE(labels, nullptr);
        int found = 0;
        for (DWORD index = 0; index < labels->AceCount; ++index) {
            void* ace = nullptr;
            ASSERT_TRUE(::GetAce(labels, index, &ace));
            if (static_cast<ACE_HEADER*>(ace)->AceType != SYSTEM_MANDATORY_LABEL_ACE_TYPE) continue;
            ++found;
            auto* label = static_cast<SYSTEM_MANDATORY_LABEL_ACE*>(ace);
            EXPECT_EQ(label->Mask & (SYSTEM_MANDATORY_LABEL_NO_WRITE_UP |
                                     SYSTEM_MANDATORY_LABEL_NO_READ_UP),
                      static_cast<ACCESS_MASK>(SYSTEM_MANDATORY_LABEL_NO_WRITE_UP |
                                               SYSTEM_MANDATORY_LABEL_NO_READ_UP));
            PSID level = &label->SidStart;
            EXPECT_EQ(*::GetSidSubAuthority(level, *::GetSidSubAuthorityCount(level) - 1),
                      static_cast<DWORD>(SECURITY_MANDATORY_MEDIUM_RID));
        }
        EXPECT_EQ(found, 1);
    }
    ::SetEvent(busy.get());
    second.join();
    EXPECT_EQ(code, 1004);
    java_.Busy = nullptr;
}

}  // namespace
