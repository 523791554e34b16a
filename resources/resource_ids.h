#pragma once

// String table, dialogs and other resource identifiers. Included by C++ and by the
// resource script, so plain #defines only.

#define IDS_WINDOWS_ERROR 202
#define IDS_JNI_ERROR 203
#define IDS_JRE_NOT_FOUND_SERVER 206
#define IDS_JRE_NOT_FOUND 207
#define IDS_MODULE_PATH_FAILED 208
#define IDS_NO_CLASS_PATH 209
#define IDS_NO_MAIN_CLASS 210
#define IDS_LOAD_MAIN_CLASS_FAILED 211
#define IDS_NO_CREATE_JAVA_VM 212
#define IDS_CREATE_VM_FAILED 213
#define IDS_BROWSE_FOR_JRE 214
#define IDS_MAIN_CLASS_NOT_FOUND 215
#define IDS_NO_MAIN_METHOD 216
#define IDS_VERSION_LATEST 217
#define IDS_VERSION_MAXIMUM 218
#define IDS_VERSION_MINIMUM 219
#define IDS_VERSION_EXACT 220
#define IDS_VERSION_BETWEEN 221
#define IDS_LOAD_VM_LIBRARY_FAILED 222
#define IDS_JNI_REASON_ERR 225
#define IDS_JNI_REASON_EDETACHED 226
#define IDS_JNI_REASON_EVERSION 227
#define IDS_JNI_REASON_ENOMEM 228
#define IDS_JNI_REASON_EEXIST 229
#define IDS_JNI_REASON_EINVAL 230
// Our own addition: the pair product could not be started (shown with template 202).
#define IDS_PAIR_PRODUCT_FAILED 240
// A path the application needs has no form in the system code page.
#define IDS_PATH_NOT_REPRESENTABLE 250
// Modular applications: "Main Class" and "Main Module" both set; a main module on a runtime
// without module support.
#define IDS_MAIN_CLASS_AND_MODULE 265
#define IDS_MODULE_NEEDS_JAVA9 266
// Every class path entry matched nothing (the application's files are missing).
#define IDS_CLASS_PATH_NOT_FOUND 267
// The application's own runtime folder is there but unusable, or named and gone.
#define IDS_OWN_RUNTIME_DAMAGED 268
// An option of the java command in "Virtual Machine Parameters", and the key to use instead.
#define IDS_JAVA_COMMAND_OPTION 269
// An option with which the java command ends before main ("-version", "-help", ...).
#define IDS_JAVA_ENDING_OPTION 285

// Why a runtime the search saw was not taken (the missing-runtime dialog's details and
// vmbootcheck's report), and the name of the runtime shipped with the application.
#define IDS_REJECT_BELOW_MINIMUM 255
#define IDS_REJECT_ABOVE_MAXIMUM 256
#define IDS_REJECT_WRONG_KIND 257
#define IDS_REJECT_PROVIDER 258
#define IDS_REJECT_NO_VM_LIBRARY 259
#define IDS_REJECT_OTHER_PROCESSOR 260
#define IDS_REJECT_FOLDER_MISSING 261
#define IDS_REJECT_DAMAGED_LIBRARY 262
#define IDS_REJECT_UNSUPPORTED_PROCESSOR 263
#define IDS_RUNTIME_BUNDLED 264
#define IDS_REJECT_VERSION_UNKNOWN 280
#define IDS_RUNTIME_REMEMBERED 281
// Why the missing-runtime dialog keeps OK disabled for a picked folder.
#define IDS_DIALOG_VERSION_REFUSED 282
#define IDS_DIALOG_FOLDER_REFUSED 283
// Single instance: the running copy did not take a later start's arguments in time.
#define IDS_HAND_OVER_NOT_ACCEPTED 297
// An output or error file that cannot be opened; the program runs on without it.
#define IDS_OUTPUT_FILE_FAILED 284

#define IDD_MISSING_RUNTIME 201
#define IDD_UNCAUGHT_EXCEPTION 231

#define IDI_VMBOOT 1

// Controls of the two dialogs.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
#define IDC_JRE_PATH_EDIT 201
#define IDC_BROWSE 202
#define IDC_MISSING_MESSAGE 203
#define IDC_ERROR_ICON 204
#define IDC_DOWNLOAD_LINK 205
#define IDC_BROWSE_HINT 206
#define IDC_TRACE_EDIT 208
#define IDC_EXCEPTION_GROUP 209
#define IDC_EXCEPTION_INTRO 210
#define IDC_EXCEPTION_HINT 211
#define IDC_EXCEPTION_WARNING 212
// The missing-runtime dialog's list of the runtimes seen and not taken.
#define IDC_DETAILS_BUTTON 220
#define IDC_DETAILS_LIST 221
