/*
 * vendrel: writes personal folder files (PST) and EML trees.
 *
 * The whole exported interface. The library keeps its context between calls
 * (current store, current folder, the fields bound for the next item), so
 * calls come from one thread at a time. No call throws: every result is an
 * int32_t code (0 success, -1 refused, -2 bad argument or call, -3 out of
 * memory, -5 file error) unless shown otherwise.
 *
 * Wide strings are NUL-terminated UTF-16 (vendrel_wchar) on every platform;
 * narrow strings are NUL-terminated 8-bit strings.
 */
#ifndef VENDREL_H
#define VENDREL_H

#include <stdint.h>

#if defined(_WIN32)
typedef wchar_t vendrel_wchar; /* UTF-16 code unit on Windows */
#elif defined(__cplusplus)
typedef char16_t vendrel_wchar; /* UTF-16 code unit elsewhere */
#else
#include <uchar.h>
typedef char16_t vendrel_wchar;
#endif

typedef struct vendrel_systemtime { /* layout of the Win32 SYSTEMTIME */
  uint16_t wYear, wMonth, wDayOfWeek, wDay;
  uint16_t wHour, wMinute, wSecond, wMilliseconds;
} vendrel_systemtime;

#if defined(_WIN32)
#if defined(VENDREL_BUILDING_LIBRARY)
#define VENDREL_API __declspec(dllexport)
#else
#define VENDREL_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define VENDREL_API __attribute__((visibility("default")))
#else
#define VENDREL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Store */
VENDREL_API int32_t CreatePst(const vendrel_wchar* path, const vendrel_wchar* display_name);
VENDREL_API int32_t CreatePstA(const char* path, const char* display_name);
VENDREL_API int32_t CommitPst(void);
VENDREL_API int32_t CommitPstA(void);
VENDREL_API int32_t GetMapiTagForNP(uint32_t numeric_name, const void* guid16, const vendrel_wchar* string_name);

/* Folders */
VENDREL_API int32_t CreateFolder(const vendrel_wchar* parent_path, const vendrel_wchar* name,
                                 const vendrel_wchar* container_class);
VENDREL_API int32_t CreateFolderA(const char* parent_path, const char* name, const char* container_class);
VENDREL_API int32_t ChangeFolder(const vendrel_wchar* path);
VENDREL_API int32_t ChangeFolderA(const char* path);
VENDREL_API int32_t CheckFolder(const vendrel_wchar* path);
VENDREL_API int32_t CheckFolderA(const char* path);

/* Binding: the fields of the next item */
VENDREL_API int32_t Bind_codepage(uint32_t code_page);
VENDREL_API int32_t Bind_codepageA(uint32_t code_page);
VENDREL_API int32_t Bind_subj(const vendrel_wchar* subject, uint32_t prefix_length);
VENDREL_API int32_t Bind_subjA(const char* subject, uint32_t prefix_length);
VENDREL_API int32_t Bind_body(const vendrel_wchar* text);
VENDREL_API int32_t Bind_bodyA(const char* text);
VENDREL_API int32_t Bind_html_body(const vendrel_wchar* html);
VENDREL_API int32_t Bind_html_bodyA(const char* html);
VENDREL_API int32_t Bind_rtf_body(const char* base64_rtf);
VENDREL_API int32_t Bind_rtf_bodyA(const char* base64_rtf);
VENDREL_API int32_t Bind_importance(uint32_t importance);
VENDREL_API int32_t Bind_importanceA(uint32_t importance);
VENDREL_API int32_t Bind_flags(uint32_t message_flags);
VENDREL_API int32_t Bind_flagsA(uint32_t message_flags);
VENDREL_API int32_t Bind_message_headers(const vendrel_wchar* headers);
VENDREL_API int32_t Bind_message_headersA(const char* headers);
VENDREL_API int32_t Bind_creation_time(uint32_t low, uint32_t high);
VENDREL_API int32_t Bind_creation_timeA(uint32_t low, uint32_t high);
VENDREL_API int32_t Bind_last_modified_time(uint32_t low, uint32_t high);
VENDREL_API int32_t Bind_last_modified_timeA(uint32_t low, uint32_t high);
VENDREL_API int32_t Bind_client_submit_time(uint32_t low, uint32_t high);
VENDREL_API int32_t Bind_client_submit_timeA(uint32_t low, uint32_t high);
VENDREL_API int32_t Bind_delivery_time(uint32_t low, uint32_t high);
VENDREL_API int32_t Bind_delivery_timeA(uint32_t low, uint32_t high);
VENDREL_API int32_t Bind_creation_time_s(vendrel_systemtime t);
VENDREL_API int32_t Bind_creation_time_sA(vendrel_systemtime t);
VENDREL_API int32_t Bind_last_modified_time_s(vendrel_systemtime t);
VENDREL_API int32_t Bind_last_modified_time_sA(vendrel_systemtime t);
VENDREL_API int32_t Bind_client_submit_time_s(vendrel_systemtime t);
VENDREL_API int32_t Bind_client_submit_time_sA(vendrel_systemtime t);
VENDREL_API int32_t Bind_delivery_time_s(vendrel_systemtime t);
VENDREL_API int32_t Bind_delivery_time_sA(vendrel_systemtime t);
VENDREL_API int32_t Bind_priority(int32_t priority);
VENDREL_API int32_t Bind_priorityA(int32_t priority);
VENDREL_API int32_t Bind_sensitivity(uint32_t sensitivity);
VENDREL_API int32_t Bind_sensitivityA(uint32_t sensitivity);
VENDREL_API int32_t Bind_billing_information(const vendrel_wchar* text);
VENDREL_API int32_t Bind_billing_informationA(const char* text);
VENDREL_API int32_t Bind_mileage(const vendrel_wchar* text);
VENDREL_API int32_t Bind_mileageA(const char* text);
VENDREL_API int32_t Bind_sender(const vendrel_wchar* email, const vendrel_wchar* display_name,
                                const vendrel_wchar* address_type);
VENDREL_API int32_t Bind_senderA(const char* email, const char* display_name, const char* address_type);
VENDREL_API int32_t Bind_recipient(const vendrel_wchar* email, const vendrel_wchar* display_name,
                                   const vendrel_wchar* address_type, uint32_t recipient_type,
                                   uint32_t recipient_flags);
VENDREL_API int32_t Bind_recipientA(const char* email, const char* display_name, const char* address_type,
                                    uint32_t recipient_type, uint32_t recipient_flags);
VENDREL_API int32_t Bind_attach(const void* data, int32_t size, const char* file_name, const char* content_id,
                                const char* mime_type, const char* content_location, uint8_t by_value,
                                uint8_t second_flag);
VENDREL_API int32_t BindTaggedProp(uint32_t tag, const void* data, uint32_t size);
VENDREL_API int32_t BindTaggedPropA(uint32_t tag, const void* data, uint32_t size);
VENDREL_API int32_t BindLiteralProp(const char* type_and_id, const void* data, uint32_t size);
VENDREL_API int32_t BClear(void);
VENDREL_API int32_t BClearA(void);

/* Items */
VENDREL_API int32_t CreateMessage(const vendrel_wchar* message_class, uint8_t embedded, uint8_t attach_pending);
VENDREL_API int32_t CreateMessageA(const char* message_class, uint8_t embedded, uint8_t attach_pending);
VENDREL_API int32_t CreateSticky(uint8_t embedded);
VENDREL_API int32_t CreateStickyA(uint8_t embedded);
VENDREL_API int32_t CreateContact(uint8_t embedded, uint8_t attach_pending);
VENDREL_API int32_t CreateContactA(uint8_t embedded, uint8_t attach_pending);
VENDREL_API int32_t CreateAppointment(uint8_t embedded, uint8_t attach_pending);
VENDREL_API int32_t CreateAppointmentA(uint8_t embedded, uint8_t attach_pending);
VENDREL_API int32_t CreateTask(uint8_t embedded, uint8_t attach_pending);
VENDREL_API int32_t CreateTaskA(uint8_t embedded, uint8_t attach_pending);

/* EML */
VENDREL_API int32_t CreateEML(const vendrel_wchar* file_name);
VENDREL_API int32_t Bind_body_EML(void);
VENDREL_API int32_t Bind_EML(const vendrel_wchar* eml_path);

/* Log */
VENDREL_API void SetLogFile(const char* path);

#ifdef __cplusplus
}
#endif

#endif /* VENDREL_H */
