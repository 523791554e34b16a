#pragma once

#include <jni.h>

/// Owns one JNI local reference and deletes it when the scope ends, so that every path out
/// of a function releases what it obtained.
template <typename T>
class LocalRef {
  public:
    LocalRef(JNIEnv* env, T ref) noexcept : env_(env), ref_(ref) {}
    LocalRef(const LocalRef&) = delete;
    LocalRef& operator=(const LocalRef&) = delete;
    ~LocalRef() { reset(); }

    T get() const noexcept { return ref_; }
    explicit operator bool() const noexcept { return ref_ != nullptr; }
    /// Hands the reference to the caller, who then owns it.
    T release() noexcept {
        T ref = ref_;
        ref_ = nullptr;
        return ref;
    }
    void reset(T ref = nullptr) noexcept {
        if (ref_) env_->DeleteLocalRef(ref_);
        ref_ = ref;
    }

  private:
    JNIEnv* env_;
    T ref_;
};

/// True when a Java exception is pending (ExceptionOccurred, its reference released).
inline bool HasPendingException(JNIEnv* env) {
    jthrowable pending = env->ExceptionOccurred();
    if (!pending) return false;
    env->DeleteLocalRef(pending);
    return true;
}
