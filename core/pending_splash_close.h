#pragma once

/// Holds at most one close function of the runtime's splash library and calls it once.
class PendingSplashClose {
public:
    using CloseFunction = void (*)();

    PendingSplashClose() = default;
    PendingSplashClose(const PendingSplashClose&) = delete;
    PendingSplashClose& operator=(const PendingSplashClose&) = delete;
    ~PendingSplashClose() { Invoke(); }

    /// Installing a different function first invokes the one held.
    void Install(CloseFunction function) {
        if (function != held_) Invoke();
        held_ = function;
    }
    /// Calls the held function once and empties the holder.
    void Invoke() {
        CloseFunction function = held_;
        held_ = nullptr;
        if (function) function();
    }

private:
    CloseFunction held_ = nullptr;
};
