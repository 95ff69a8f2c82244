/*
 * vendrel: writes personal folder files (PST, [MS-PST]) and EML trees.
 *
 * This header is the whole exported interface of libvendrel.so / vendrel.dll.
 *
 * How a host uses it
 *   1. CreatePst (Unicode file) or CreatePstA (ANSI file) creates the output
 *      file and makes the top of its folder tree current.
 *   2. CreateFolder / ChangeFolder choose the folder that receives the items.
 *   3. The Bind_... calls describe the next item one field at a time.
 *   4. CreateMessage, CreateSticky, CreateContact, CreateAppointment or
 *      CreateTask turns what was bound into one item of the current folder,
 *      then clears the bindings (see BClear for what stays bound).
 *   5. CommitPst (CommitPstA after CreatePstA) writes the file out.
 *   Bind first, then create: a binding applies to the next item created.
 *
 * Groups below: Store, Folders, Binding, Items, EML, Log.
 *
 * Wide and narrow calls
 *   Every call that takes strings exists twice: the wide call takes
 *   NUL-terminated UTF-16 (vendrel_wchar: wchar_t on Windows, char16_t
 *   elsewhere; never the 32-bit wchar_t of Linux), the narrow twin (name
 *   ending in A) takes NUL-terminated 8-bit strings. Narrow strings from the
 *   host are UTF-8 on Linux and in the system ANSI code page (GetACP) on
 *   Windows. The file variant is chosen by the create call alone: CreatePst
 *   writes a Unicode file (UTF-16 strings), CreatePstA an ANSI file, whose
 *   8-bit strings are in a Windows code page: on Linux 1252, or the code
 *   page that the environment variable VENDREL_ANSI_CODEPAGE names (e.g.
 *   1251); on Windows the system ANSI code page. Text that code page cannot
 *   hold becomes "?" in an ANSI file. Wide and narrow calls may be mixed on
 *   either variant, but each family binds its own fields: wide Bind_ calls
 *   are used by the wide create calls, narrow by the narrow ones.
 *   Bind_attach, BindTaggedProp(A) and BindLiteralProp bind for both.
 *
 * Results
 *   No call throws or aborts: each returns an int32_t code. 0 is success,
 *   and the errors are
 *     -1  refused (e.g. an unknown BindLiteralProp type letter), or an
 *         unexpected internal error;
 *     -2  bad argument or call: a null or unreadable string that is
 *         required, a negative size, a folder that exists already, an
 *         operation the item does not allow;
 *     -3  out of memory;
 *     -5  file error (the file cannot be created, written or read), and
 *         "no store is open" for the folder, item and commit calls.
 *   Each error is also written to the log (SetLogFile) as "[ERROR]: ..."
 *   with the call's name; the library stays usable for the next call.
 *   The exceptions to "0 is success" are marked in the calls' comments:
 *   CheckFolder(A) (1 found, 0 missing), GetMapiTagForNP (a property ID),
 *   CreateEML (always 1), Bind_body_EML and Bind_EML (1 success, 0 failure)
 *   and, in EML mode, CreateFolder / ChangeFolder (1 when the directory
 *   cannot be made).
 *
 * State and threads
 *   The library keeps one state per process (the open store, the current
 *   folder, the bound fields); there are no handles. Only one store is open
 *   at a time. The calls are not synchronised: use the library from one
 *   thread at a time (SetLogFile's logger is the only locked part).
 *
 * Times
 *   FILETIME: 100-nanosecond intervals since 1601-01-01 00:00 UTC, passed as
 *   two 32-bit halves, low half first. vendrel_systemtime (Win32 SYSTEMTIME
 *   layout) is taken as UTC. A time left unbound (0) gets the item's default.
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
/*
 * Creates a new Unicode PST file at path (any file there is deleted first),
 * names its store display_name and makes the top of its folder tree (the
 * "Top of Personal Folders" under which host folders go) the current folder.
 * Clears the wide bindings. A store that is still open is dropped without
 * being committed: its file is left incomplete, not a PST to read. A Unicode
 * file goes on in "<name> - 001.pst", "- 002" ... with the same folder tree
 * when it reaches 100 GiB.
 *   path          UTF-16 file path.
 *   display_name  UTF-16 store name; required.
 * Returns 0; -2 for a null path or name; -5 when the file cannot be created.
 */
VENDREL_API int32_t CreatePst(const vendrel_wchar* path, const vendrel_wchar* display_name);

/*
 * As CreatePst, for an ANSI PST file (32-bit block IDs, 8-bit strings in the
 * ANSI code page; see the top of this header). An ANSI file goes on in a
 * further file of the series at 1 GiB. Clears the narrow and wide bindings.
 *   path, display_name  8-bit strings: UTF-8 on Linux, the ANSI code page on
 *                       Windows.
 * Returns 0; -2 for a null path or name; -5 when the file cannot be created.
 */
VENDREL_API int32_t CreatePstA(const char* path, const char* display_name);

/*
 * Writes out the open store (folders, their tables, the store's properties
 * and named property map, the file's B-trees and header; then the further
 * files of its series) and closes it; clears the wide bindings. Items were
 * already written as they were created, but the file is a valid PST only
 * after the commit. CommitPstA is the same call clearing the narrow bindings;
 * either commits a store of either variant.
 * Returns 0; -5 when no store is open (e.g. a second commit) or the file
 * cannot be written.
 */
VENDREL_API int32_t CommitPst(void);
VENDREL_API int32_t CommitPstA(void);

/*
 * Returns the property ID of a named property in the open store, adding the
 * name to the store's named property map when it is new. Form the tag for
 * BindTaggedProp as (id << 16) | type, e.g. (id << 16) | 0x001F.
 *   numeric_name  the numeric name (LID); the value 0x2A2A2A2A together with
 *                 a non-null string_name asks for a string-named property.
 *   guid16        the 16 bytes of the property set GUID, as stored (the
 *                 first three fields little-endian); null means the zero GUID.
 *   string_name   UTF-16 name when numeric_name is 0x2A2A2A2A, else ignored.
 * Returns the ID (0x8000 to 0xFFFE; the same ID for the same name); 0 when no
 * store is open; a negative code for an unreadable name or a full map.
 */
VENDREL_API int32_t GetMapiTagForNP(uint32_t numeric_name, const void* guid16, const vendrel_wchar* string_name);

/* Folders */
/*
 * Creates the folder name below parent_path and makes it current. Paths are
 * folder names separated by a backslash ("Projects\\Archive"), always
 * resolved from the top of the folder tree (never from the current folder);
 * empty components (leading, trailing, doubled backslashes) are skipped, so
 * "" or null is the top itself. Names compare exactly (case-sensitive).
 * Missing folders on parent_path are created with class "IPF.Note".
 *   container_class  the folder's class: "IPF.Note" (mail), "IPF.Contact",
 *                    "IPF.Appointment", "IPF.Task", "IPF.StickyNote"; may be
 *                    null.
 * Returns 0; -5 when no store is open or on a file error; -2 when parent
 * already holds a folder of that name or a string is unreadable.
 * EML mode (after CreateEML): makes the directory <parent_path>\<name>
 * instead (no store needed; a class of exactly "IPF.Contact" makes nothing and
 * returns 0); returns 0, or 1 when the directory cannot be made.
 */
VENDREL_API int32_t CreateFolder(const vendrel_wchar* parent_path, const vendrel_wchar* name,
                                 const vendrel_wchar* container_class);

/*
 * Narrow twin of CreateFolder (8-bit strings; no EML mode: it always works
 * on the store). Returns as CreateFolder.
 */
VENDREL_API int32_t CreateFolderA(const char* parent_path, const char* name, const char* container_class);

/*
 * Makes the folder at path current, creating every missing folder on it
 * with class "IPF.Note". Path syntax as for CreateFolder.
 * Returns 0; -5 when no store is open.
 * EML mode: makes path the directory of the next .eml files and creates it;
 * returns 0, or 1 when it cannot be made.
 */
VENDREL_API int32_t ChangeFolder(const vendrel_wchar* path);

/*
 * Narrow twin of ChangeFolder (no EML mode). Returns as ChangeFolder.
 */
VENDREL_API int32_t ChangeFolderA(const char* path);

/*
 * Tells whether every folder of path exists (path syntax as for
 * CreateFolder). The current folder moves along: after 1 it is the folder of
 * path, after 0 the deepest existing folder on it.
 * Returns 1 when the path exists, 0 when a component is missing, -5 when no
 * store is open.
 */
VENDREL_API int32_t CheckFolder(const vendrel_wchar* path);

/*
 * Narrow twin of CheckFolder. Returns as CheckFolder.
 */
VENDREL_API int32_t CheckFolderA(const char* path);

/* Binding: the fields of the next item */
/*
 * Binds the code page of the next item's text (stored as its internet code
 * page, PidTagInternetCodepage; e.g. 65001 UTF-8, 1252 Western): used when
 * an HTML body is turned into plain text and for the charset of EML output.
 * Unbound, or after a clear, it is the process ANSI code page. Returns 0.
 */
VENDREL_API int32_t Bind_codepage(uint32_t code_page);
VENDREL_API int32_t Bind_codepageA(uint32_t code_page);

/*
 * Binds the subject. prefix_length is the length of the subject's prefix
 * in characters (4 for "RE: ", 5 for "FWD: "; 0 when there is none): readers
 * show the subject without it as the normalized subject. A prefix length of
 * 255 or more counts as none. Returns 0; -2 for a null subject.
 */
VENDREL_API int32_t Bind_subj(const vendrel_wchar* subject, uint32_t prefix_length);
VENDREL_API int32_t Bind_subjA(const char* subject, uint32_t prefix_length);

/*
 * Binds the plain-text body. Returns 0; -2 for a null text.
 */
VENDREL_API int32_t Bind_body(const vendrel_wchar* text);
VENDREL_API int32_t Bind_bodyA(const char* text);

/*
 * Binds the HTML body. When no plain body is bound, one is derived from the
 * HTML (in the bound code page).
 * Returns 0; -2 for a null text.
 */
VENDREL_API int32_t Bind_html_body(const vendrel_wchar* html);
VENDREL_API int32_t Bind_html_bodyA(const char* html);

/*
 * Binds an RTF body: the RTF document encoded in Base64 (8-bit text in
 * both twins). It is stored compressed ([MS-OXRTFCP]) and a plain-text body
 * is derived from it when none is bound. Returns 0; -2 for a null text.
 */
VENDREL_API int32_t Bind_rtf_body(const char* base64_rtf);
VENDREL_API int32_t Bind_rtf_bodyA(const char* base64_rtf);

/*
 * Binds the importance: 0 low, 1 normal (the default), 2 high.
 * Returns 0 (the value is not checked).
 */
VENDREL_API int32_t Bind_importance(uint32_t importance);
VENDREL_API int32_t Bind_importanceA(uint32_t importance);

/*
 * Binds the message flags (PidTagMessageFlags): 0x01 read, 0x02 unmodified,
 * 0x04 submitted, 0x08 unsent (the default is 8). The has-attachments bit
 * 0x10 is set by the item itself. Returns 0.
 */
VENDREL_API int32_t Bind_flags(uint32_t message_flags);
VENDREL_API int32_t Bind_flagsA(uint32_t message_flags);

/*
 * Binds the transport message headers (the item's Internet headers, as
 * text). Returns 0; -2 for a null text.
 */
VENDREL_API int32_t Bind_message_headers(const vendrel_wchar* headers);
VENDREL_API int32_t Bind_message_headersA(const char* headers);

/*
 * Binds a time of the item as a FILETIME in two halves, low half first
 * (100-ns units since 1601-01-01 UTC):
 *   Bind_creation_time       creation time
 *   Bind_last_modified_time  last modification time
 *   Bind_client_submit_time  the time the message was sent
 *   Bind_delivery_time       the time it was received
 * The wide calls ignore the pair 0x2A2A2A2A, 0x2A2A2A2A (the time stays as
 * bound); the A twins store every value. Times are not cleared by BClear: they
 * carry over to the next item until bound again. Returns 0.
 */
VENDREL_API int32_t Bind_creation_time(uint32_t low, uint32_t high);
VENDREL_API int32_t Bind_creation_timeA(uint32_t low, uint32_t high);
VENDREL_API int32_t Bind_last_modified_time(uint32_t low, uint32_t high);
VENDREL_API int32_t Bind_last_modified_timeA(uint32_t low, uint32_t high);
VENDREL_API int32_t Bind_client_submit_time(uint32_t low, uint32_t high);
VENDREL_API int32_t Bind_client_submit_timeA(uint32_t low, uint32_t high);
VENDREL_API int32_t Bind_delivery_time(uint32_t low, uint32_t high);
VENDREL_API int32_t Bind_delivery_timeA(uint32_t low, uint32_t high);

/*
 * Bind_creation_time_s, Bind_last_modified_time_s, Bind_client_submit_time_s,
 * Bind_delivery_time_s: as the calls above, with the time as a
 * vendrel_systemtime taken as UTC (wDayOfWeek is ignored). An invalid date
 * leaves the time unchanged; the 0x2A2A2A2A rule does not apply. Returns 0.
 */
VENDREL_API int32_t Bind_creation_time_s(vendrel_systemtime t);
VENDREL_API int32_t Bind_creation_time_sA(vendrel_systemtime t);
VENDREL_API int32_t Bind_last_modified_time_s(vendrel_systemtime t);
VENDREL_API int32_t Bind_last_modified_time_sA(vendrel_systemtime t);
VENDREL_API int32_t Bind_client_submit_time_s(vendrel_systemtime t);
VENDREL_API int32_t Bind_client_submit_time_sA(vendrel_systemtime t);
VENDREL_API int32_t Bind_delivery_time_s(vendrel_systemtime t);
VENDREL_API int32_t Bind_delivery_time_sA(vendrel_systemtime t);

/*
 * Binds the priority: -1 non-urgent, 0 normal (the default), 1 urgent.
 * Returns 0.
 */
VENDREL_API int32_t Bind_priority(int32_t priority);
VENDREL_API int32_t Bind_priorityA(int32_t priority);

/*
 * Binds the sensitivity: 0 normal (the default), 1 personal, 2 private,
 * 3 confidential. Returns 0.
 */
VENDREL_API int32_t Bind_sensitivity(uint32_t sensitivity);
VENDREL_API int32_t Bind_sensitivityA(uint32_t sensitivity);

/*
 * Binds the billing information (a named property of the item).
 * Returns 0; -2 for a null text.
 */
VENDREL_API int32_t Bind_billing_information(const vendrel_wchar* text);
VENDREL_API int32_t Bind_billing_informationA(const char* text);

/*
 * Binds the mileage text (a named property of the item).
 * Returns 0; -2 for a null text.
 */
VENDREL_API int32_t Bind_mileage(const vendrel_wchar* text);
VENDREL_API int32_t Bind_mileageA(const char* text);

/*
 * Binds the sender. Each string may be null: a null address becomes a
 * placeholder address, a null display name the address, a null address type
 * "SMTP". The sender is not cleared by BClear: it carries over to the next
 * item until bound again. Returns 0.
 */
VENDREL_API int32_t Bind_sender(const vendrel_wchar* email, const vendrel_wchar* display_name,
                                const vendrel_wchar* address_type);
VENDREL_API int32_t Bind_senderA(const char* email, const char* display_name, const char* address_type);

/*
 * Adds one recipient to the next item (messages and appointments).
 *   email, display_name, address_type  as for Bind_sender; when all three are
 *                   null nothing is added.
 *   recipient_type  1 To, 2 Cc, 3 Bcc (stored as given).
 *   recipient_flags PidTagRecipientFlags, stored as given; 1 for an ordinary
 *                   sendable recipient.
 * Returns 0.
 */
VENDREL_API int32_t Bind_recipient(const vendrel_wchar* email, const vendrel_wchar* display_name,
                                   const vendrel_wchar* address_type, uint32_t recipient_type,
                                   uint32_t recipient_flags);
VENDREL_API int32_t Bind_recipientA(const char* email, const char* display_name, const char* address_type,
                                    uint32_t recipient_type, uint32_t recipient_flags);

/*
 * Adds one attachment to the next item (not to sticky notes). Shared by
 * both families.
 *   data, size        the content: size bytes (0 to INT32_MAX) copied now.
 *   file_name         the attachment's name (8-bit string, required).
 *   content_id, mime_type, content_location  8-bit strings or null.
 *   by_value          non-zero: an ordinary file attachment; 0: the bytes are
 *                     stored as an embedded OLE object.
 *   second_flag       kept with the attachment; no effect on a PST.
 * Returns 0; -2 for a negative size, null data with a non-zero size or a null
 * name.
 */
VENDREL_API int32_t Bind_attach(const void* data, int32_t size, const char* file_name, const char* content_id,
                                const char* mime_type, const char* content_location, uint8_t by_value,
                                uint8_t second_flag);

/*
 * Binds one property by its tag ((ID << 16) | type) for the next item; it
 * replaces any value of that ID the item would get (bound twice, the last
 * wins). data holds size bytes as stored: 2 for PT_SHORT (0x0002), 4 for
 * PT_LONG (0x0003), 1, 2 or 4 for PT_BOOLEAN (0x000B), 8 for PT_I8, PT_DOUBLE,
 * PT_CURRENCY and PT_SYSTIME (a FILETIME), the code units without the NUL for
 * PT_STRING8 (0x001E) and PT_UNICODE (0x001F, UTF-16LE), the bytes for
 * PT_BINARY and PT_CLSID. Named properties: the ID from GetMapiTagForNP.
 * BindTaggedPropA records a type 0x001F as 0x001E (the bytes unchanged).
 * Returns 0; -2 for null data with a non-zero size.
 */
VENDREL_API int32_t BindTaggedProp(uint32_t tag, const void* data, uint32_t size);
VENDREL_API int32_t BindTaggedPropA(uint32_t tag, const void* data, uint32_t size);

/*
 * Binds a property as BindTaggedProp does, named by text: an optional "M",
 * a type letter (B boolean, I 16-bit, L 32-bit, N binary, Q 64-bit,
 * S 8-bit string, T time), then the property ID in hexadecimal: "L3FDE" is the
 * 32-bit property 0x3FDE.
 * Returns 0; -1 (nothing bound) for another letter or no hexadecimal ID;
 * -2 for a null text, or null data with a non-zero size.
 */
VENDREL_API int32_t BindLiteralProp(const char* type_and_id, const void* data, uint32_t size);

/*
 * Clears the bindings of the next item: BClear the wide fields and wide
 * recipients, BClearA the narrow ones; both empty the shared attachment and
 * tagged property lists. The subject, bodies, headers, billing information
 * and mileage go; code page, importance (1), flags (8), priority and
 * sensitivity return to their defaults. The four times, the sender and the
 * RTF flag stay bound. Every create call clears its family when it succeeds.
 * Returns 0.
 */
VENDREL_API int32_t BClear(void);
VENDREL_API int32_t BClearA(void);

/* Items */
/*
 * Creates an e-mail message in the current folder from the wide bindings
 * (CreateMessageA: the narrow bindings), then clears them.
 *   message_class   e.g. "IPM.Note" (null: "IPM.Note").
 *   embedded        non-zero: the message is not filed but held, to become an
 *                   attachment of the next item created with attach_pending.
 *   attach_pending  non-zero: every message held by embedded creates is
 *                   attached to this one as an embedded message.
 * Returns 0; -5 when no store is open or on a file error (the bindings then
 * stay); -2 for an argument the item refuses.
 * EML mode (wide call only): writes the bound message as an .eml file named by
 * CreateEML into the folder call's directory (no store needed); embedded and
 * not attach_pending queues it for the next written message instead. Returns
 * 0 when written or queued, -1 when the file cannot be written.
 */
VENDREL_API int32_t CreateMessage(const vendrel_wchar* message_class, uint8_t embedded, uint8_t attach_pending);
VENDREL_API int32_t CreateMessageA(const char* message_class, uint8_t embedded, uint8_t attach_pending);

/*
 * Creates a sticky note (class "IPM.StickyNote"; subject and body; no
 * attachments or recipients) from the bindings of the call's family.
 *   embedded  as for CreateMessage.
 * Returns 0; -5 when no store is open or on a file error.
 * EML mode: CreateSticky writes the file "<n>_Sticky_<name>" (n counting
 * from 1, name from CreateEML), CreateStickyA the wide bindings under the
 * CreateEML name; both return 0.
 */
VENDREL_API int32_t CreateSticky(uint8_t embedded);
VENDREL_API int32_t CreateStickyA(uint8_t embedded);

/*
 * Creates a contact (class "IPM.Contact") from the bindings of the call's
 * family; put contacts in a folder of class "IPF.Contact". Contact details
 * such as e-mail addresses are bound with BindTaggedProp (named properties
 * of the address property set, see GetMapiTagForNP).
 *   embedded, attach_pending  as for CreateMessage.
 * Returns 0; -5 when no store is open or on a file error. Needs a store in
 * EML mode too (contacts are not written as .eml).
 */
VENDREL_API int32_t CreateContact(uint8_t embedded, uint8_t attach_pending);
VENDREL_API int32_t CreateContactA(uint8_t embedded, uint8_t attach_pending);

/*
 * Creates an appointment (class "IPM.Appointment") from the bindings of the
 * call's family, with its recipients as attendees. Start, end and location
 * are named properties (GetMapiTagForNP, BindTaggedProp).
 *   embedded, attach_pending  as for CreateMessage.
 * Returns 0; -5 when no store is open or on a file error.
 * EML mode (wide call): writes "<n>_Appointment_<name>" and returns 0.
 */
VENDREL_API int32_t CreateAppointment(uint8_t embedded, uint8_t attach_pending);
VENDREL_API int32_t CreateAppointmentA(uint8_t embedded, uint8_t attach_pending);

/*
 * Creates a task (class "IPM.Task") from the bindings of the call's family.
 *   embedded, attach_pending  as for CreateMessage.
 * Returns 0; -5 when no store is open or on a file error.
 * EML mode (wide call): writes "<n>_Task_<name>" and returns 0.
 */
VENDREL_API int32_t CreateTask(uint8_t embedded, uint8_t attach_pending);
VENDREL_API int32_t CreateTaskA(uint8_t embedded, uint8_t attach_pending);

/* EML */
/*
 * Turns EML mode on for the rest of the process (nothing turns it off) and
 * names the next .eml file (UTF-16, relative to the directory of the last
 * CreateFolder / ChangeFolder; may be null). In EML mode the wide folder and
 * item calls write directories and .eml files instead of PST items; call it
 * again before each message, or the next message overwrites the same file.
 * Returns 1, always (not 0).
 */
VENDREL_API int32_t CreateEML(const vendrel_wchar* file_name);

/*
 * In EML mode, writes the wide bindings as an .eml file (or queues the
 * message when the last CreateMessage asked for an embedded one); this is what
 * CreateMessage runs in EML mode.
 * Returns 1 when the file was written or the message queued, 0 otherwise
 * (not the 0-is-success convention).
 */
VENDREL_API int32_t Bind_body_EML(void);

/*
 * Reads the .eml file at eml_path (UTF-16 path) and creates it as a message
 * of the current folder: headers, bodies, attachments, and nested messages as
 * embedded messages. It binds into the wide bindings and calls CreateMessage,
 * so a store must be open; bindings made before are taken over by the message.
 * Returns 1 on success (not 0); 0 in EML mode, when the file cannot be read or
 * the message cannot be created.
 */
VENDREL_API int32_t Bind_EML(const vendrel_wchar* eml_path);

/* Log */
/*
 * Starts writing a diagnostic log to path (8-bit path: UTF-8 on Linux, ANSI
 * code page on Windows): appends to the file, after a header describing the
 * machine; a later call switches files. Lines are plain text with a "[hh:mm:ss]"
 * line whenever the second changes; errors of every call appear as
 * "[ERROR]: <call>: <message> [<code>]". Without it nothing is logged. A file
 * that cannot be opened is ignored. Returns nothing and never fails.
 */
VENDREL_API void SetLogFile(const char* path);

#ifdef __cplusplus
}
#endif

#endif /* VENDREL_H */
