#include "hosting/java_strings_win32.h"

#include <limits>

#include "hosting/local_ref.h"

jstring NewJavaString(JNIEnv* env, std::wstring_view text) {
    static_assert(sizeof(wchar_t) == sizeof(jchar), "UTF-16 text is handed over unit by unit");
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<jsize>::max())) return nullptr;
    LocalRef<jclass> stringClass(env, env->FindClass("java/lang/String"));
    if (!stringClass) return nullptr;
    jmethodID constructor = env->GetMethodID(stringClass.get(), "<init>", "([C)V");
    if (!constructor) return nullptr;
    const auto length = static_cast<jsize>(text.size());
    LocalRef<jcharArray> chars(env, env->NewCharArray(length));
    if (!chars) return nullptr;
    env->SetCharArrayRegion(chars.get(), 0, length, reinterpret_cast<const jchar*>(text.data()));
    if (HasPendingException(env)) return nullptr;
    return static_cast<jstring>(env->NewObject(stringClass.get(), constructor, chars.get()));
}

jobjectArray NewJavaStringArray(JNIEnv* env, const std::vector<std::wstring>& texts) {
    if (texts.size() > static_cast<std::size_t>(std::numeric_limits<jsize>::max())) return nullptr;
    LocalRef<jclass> stringClass(env, env->FindClass("java/lang/String"));
    if (!stringClass) return nullptr;
    LocalRef<jobjectArray> array(
        env, env->NewObjectArray(static_cast<jsize>(texts.size()), stringClass.get(), nullptr));
    if (!array) return nullptr;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        LocalRef<jstring> item(env, NewJavaString(env, texts[i]));
        if (!item) return nullptr;
        env->SetObjectArrayElement(array.get(), static_cast<jsize>(i), item.get());
        if (HasPendingException(env)) return nullptr;
    }
    return array.release();
}
