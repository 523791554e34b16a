#pragma once

#include <jni.h>

#include <utility>

/// Owns one JNI global reference and deletes it through the environment it was made with,
/// for references kept past the local frame that produced them.
template <typename T>
class GlobalRef {
  public:
    GlobalRef() noexcept = default;
    /// A new global reference to `ref`; empty when `ref` is null or the VM is out of memory.
    GlobalRef(JNIEnv* env, T ref) noexcept
        : env_(env), ref_(ref ? static_cast<T>(env->NewGlobalRef(ref)) : nullptr) {}
    GlobalRef(GlobalRef&& other) noexcept
        : env_(other.env_), ref_(std::exchange(other.ref_, nullptr)) {}
    GlobalRef& operator=(GlobalRef&& other) noexcept {
        if (this != &other) {
            reset();
            env_ = other.env_;
            ref_ = std::exchange(other.ref_, nullptr);
        }
        return *this;
    }
    GlobalRef(const GlobalRef&) = delete;
    GlobalRef& operator=(const GlobalRef&) = delete;
    /// Deleting a global reference is allowed with an exception pending.
    ~GlobalRef() { reset(); }

    T get() const noexcept { return ref_; }
    explicit operator bool() const noexcept { return ref_ != nullptr; }
    void reset() noexcept {
        if (ref_) env_->DeleteGlobalRef(ref_);
        ref_ = nullptr;
    }

  private:
    JNIEnv* env_ = nullptr;
    T ref_ = nullptr;
};
