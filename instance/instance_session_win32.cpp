#include "instance/instance_session_win32.h"

#include "core/launcher_win32.h"

void ReleaseClaim(InstanceBlock& block, const InstanceSession* session) {
    if (session && session->ListenerThreadId != 0)
        CompareExchangeShared(block.ListenerThreadId, session->ListenerThreadId, 0);
    CompareExchangeShared(block.PrimaryProcessId, ::GetCurrentProcessId(), 0);
}

void LeaveProtocol(InstanceSession& session) {
    if (session.Left.exchange(true)) return;
    SrwSharedLock guard(session.Lock);
    if (session.Owner && session.Owner->Block()) ReleaseClaim(*session.Owner->Block(), &session);
}

void PostAnswer(DWORD thread, UINT message, int result) {
    ::PostThreadMessageW(thread, message, static_cast<WPARAM>(static_cast<INT_PTR>(result)), 0);
}

void PostStartOver(DWORD thread, UINT message) {
    ::PostThreadMessageW(thread, message, 0, kStartOver);
}

void PostCallBegun(DWORD thread, UINT message) {
    ::PostThreadMessageW(thread, message, 0, kCallBegun);
}
