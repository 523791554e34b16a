#pragma once

#include <windows.h>

#include <jni.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "core/unique_handle_win32.h"

class Launcher;

/// The archive a start records for class data sharing: where the VM writes it and where it
/// goes when complete.
struct ClassSharingRecording {
    std::wstring folder;
    std::wstring temporary;
    /// What names it, but the checksum that is known once it is written.
    std::wstring stem;
    std::uint64_t runtimeKey = 0;
    std::uint64_t key = 0;
    /// The folder, open without delete sharing while the VM may write into it.
    UniqueFileHandle folderHandle;
};

/// What the VM's hooks and the console control handler work with. The VM calls its
/// vfprintf, exit and abort hooks, and the system the console handler, as plain C function
/// pointers without a context, so this cannot travel in the Launcher as every other piece of
/// launch state does. There is one, `g_vmHooks`, never destroyed: a VM thread may print or
/// call System.exit while the process ends and static objects are torn down.
struct VmHooks {
    /// System.err capture (hosting/startup_capture): the pipe's read end while a capture
    /// lives, and the launch whose error dialog shows what it holds.
    UniqueFileHandle captureRead;
    const Launcher* captureOwner = nullptr;

    /// What the VM printed while kept (hosting/startup_capture). The VM's threads may print
    /// at once: the lock guards the owner and the text.
    SRWLOCK messagesLock = SRWLOCK_INIT;
    const Launcher* messagesOwner = nullptr;
    std::string messages;

    /// The VM a console close ends (hosting/vm): set once the VM exists, cleared when it is
    /// destroyed.
    std::atomic<JavaVM*> consoleVm{nullptr};

    /// The archive this start records (options/class_sharing): the exit hook or DestroyVm
    /// puts it in place, a VM that cannot start drops it. `recordingOpen` hands it to the
    /// first of them; `recordingStartNoted` makes the start's outcome count once.
    ClassSharingRecording recording;
    std::atomic<bool> recordingOpen{false};
    std::atomic<bool> recordingStartNoted{false};
    /// The program's main was called: only then is a recording kept.
    std::atomic<bool> mainCalled{false};
    /// The note of the archive this start maps, removed once main runs or the start ends in
    /// order; empty when it maps none.
    std::wstring mappingNote;
};

extern VmHooks& g_vmHooks;
