#pragma once

#include <jni.h>

#include <utility>

/// Owns one JNI reference and deletes it with the environment's function for its kind, so
/// that every path out of a function releases what it obtained.
template <typename T, void (JNIEnv::*Delete)(jobject)>
class JniRef {
  public:
    JniRef() noexcept = default;
    JniRef(JNIEnv* env, T ref) noexcept : env_(env), ref_(ref) {}
    JniRef(JniRef&& other) noexcept : env_(other.env_), ref_(other.release()) {}
    JniRef& operator=(JniRef&& other) noexcept {
        if (this != &other) {
            reset();
            env_ = other.env_;
            ref_ = other.release();
        }
        return *this;
    }
    JniRef(const JniRef&) = delete;
    JniRef& operator=(const JniRef&) = delete;
    /// Deleting a reference is allowed with an exception pending.
    ~JniRef() { reset(); }

    T get() const noexcept { return ref_; }
    explicit operator bool() const noexcept { return ref_ != nullptr; }
    /// Hands the reference to the caller, who then owns it.
    T release() noexcept { return std::exchange(ref_, nullptr); }
    void reset(T ref = nullptr) noexcept {
        if (ref_) (env_->*Delete)(ref_);
        ref_ = ref;
    }

  private:
    JNIEnv* env_ = nullptr;
    T ref_ = nullptr;
};

/// A local reference, valid in the frame and on the thread that made it.
template <typename T>
using LocalRef = JniRef<T, &JNIEnv::DeleteLocalRef>;

/// A global reference, for references kept past the local frame that produced them; deleted
/// through the environment it was made with, so it must die on that thread.
template <typename T>
using GlobalRef = JniRef<T, &JNIEnv::DeleteGlobalRef>;

/// A new global reference to `ref`; empty when `ref` is null or the VM is out of memory.
template <typename T>
GlobalRef<T> MakeGlobalRef(JNIEnv* env, T ref) noexcept {
    return GlobalRef<T>(env, ref ? static_cast<T>(env->NewGlobalRef(ref)) : nullptr);
}

/// True when a Java exception is pending (ExceptionOccurred, its reference released).
inline bool HasPendingException(JNIEnv* env) {
    jthrowable pending = env->ExceptionOccurred();
    if (!pending) return false;
    env->DeleteLocalRef(pending);
    return true;
}
