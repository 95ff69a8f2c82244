// Property IDs and tags of messages, recipients and attachments, and the
// node IDs of a message's subnodes. Named properties carry the fixed IDs
// that every store's named property map gives them (ltp/name_defaults.cpp).
#pragma once

#include <cstdint>

namespace vendrel::msg {

// Subnodes of a message node.
inline constexpr uint32_t attachment_table_nid = 0x671;
inline constexpr uint32_t recipient_table_nid = 0x692;
// Table cells larger than this go to a subnode.
inline constexpr size_t large_cell_threshold = 512;
// Attachment data from this size on is written as a stream.
inline constexpr size_t attachment_stream_threshold = 201;
// The heap block size that 0x6610 counts full heap blocks with.
inline constexpr uint32_t heap_block_bytes = 8176;

// Message properties (IDs).
inline constexpr uint16_t id_alternate_recipient_allowed = 0x0002;
inline constexpr uint16_t id_importance = 0x0017;
inline constexpr uint16_t id_message_class = 0x001A;
inline constexpr uint16_t id_priority = 0x0026;
inline constexpr uint16_t id_read_receipt_requested = 0x0029;
inline constexpr uint16_t id_sensitivity = 0x0036;
inline constexpr uint16_t id_subject = 0x0037;
inline constexpr uint16_t id_client_submit_time = 0x0039;
inline constexpr uint16_t id_sent_representing_search_key = 0x003B;
inline constexpr uint16_t id_sent_representing_entry_id = 0x0041;
inline constexpr uint16_t id_sent_representing_name = 0x0042;
inline constexpr uint16_t id_sent_representing_address_type = 0x0064;
inline constexpr uint16_t id_sent_representing_email = 0x0065;
inline constexpr uint16_t id_transport_headers = 0x007D;
inline constexpr uint16_t id_sender_entry_id = 0x0C19;
inline constexpr uint16_t id_sender_name = 0x0C1A;
inline constexpr uint16_t id_sender_search_key = 0x0C1D;
inline constexpr uint16_t id_sender_address_type = 0x0C1E;
inline constexpr uint16_t id_sender_email = 0x0C1F;
inline constexpr uint16_t id_delete_after_submit = 0x0E01;
inline constexpr uint16_t id_display_bcc = 0x0E02;
inline constexpr uint16_t id_display_cc = 0x0E03;
inline constexpr uint16_t id_display_to = 0x0E04;
inline constexpr uint16_t id_delivery_time = 0x0E06;
inline constexpr uint16_t id_message_flags = 0x0E07;
inline constexpr uint16_t id_message_size = 0x0E08;
inline constexpr uint16_t id_message_status = 0x0E17;
inline constexpr uint16_t id_has_attachments = 0x0E1B;
inline constexpr uint16_t id_rtf_in_sync = 0x0E1F;
inline constexpr uint16_t id_body = 0x1000;
inline constexpr uint16_t id_rtf_sync_body_crc = 0x1006;
inline constexpr uint16_t id_rtf_sync_body_count = 0x1007;
inline constexpr uint16_t id_rtf_compressed = 0x1009;
inline constexpr uint16_t id_rtf_sync_prefix_count = 0x1010;
inline constexpr uint16_t id_rtf_sync_trailing_count = 0x1011;
inline constexpr uint16_t id_body_html = 0x1013;
inline constexpr uint16_t id_icon_index = 0x1080;
inline constexpr uint16_t id_display_name = 0x3001;
inline constexpr uint16_t id_creation_time = 0x3007;
inline constexpr uint16_t id_last_modification_time = 0x3008;
inline constexpr uint16_t id_search_key = 0x300B;
inline constexpr uint16_t id_internet_codepage = 0x3FDE;
inline constexpr uint16_t id_message_codepage = 0x3FFD;  // PidTagMessageCodepage
inline constexpr uint16_t id_attachment_total = 0x6604;
inline constexpr uint16_t id_recipient_heap_size = 0x6610;
// The property ID commit step 4 looks for; what sets it is not known.
inline constexpr uint16_t id_rtf_marker = 0x0102;

// Named properties of PSETID_Common under their fixed IDs.
inline constexpr uint16_t id_current_version_name = 0x800D;  // LID 0x8554
inline constexpr uint16_t id_common_binary_a = 0x801F;       // LID 0x850F
inline constexpr uint16_t id_common_binary_b = 0x8021;       // LID 0x8513
inline constexpr uint16_t id_common_long = 0x801E;           // LID 0x8542
inline constexpr uint16_t id_mileage = 0x8026;               // LID 0x8534
inline constexpr uint16_t id_billing = 0x8027;               // LID 0x8535

// Recipient row.
inline constexpr uint16_t id_recipient_type = 0x0C15;
inline constexpr uint16_t id_responsibility = 0x0E0F;
inline constexpr uint16_t id_record_key = 0x0FF9;
inline constexpr uint16_t id_object_type = 0x0FFE;
inline constexpr uint16_t id_entry_id = 0x0FFF;
inline constexpr uint16_t id_address_type = 0x3002;
inline constexpr uint16_t id_email_address = 0x3003;
inline constexpr uint16_t id_display_type = 0x3900;
inline constexpr uint16_t id_send_rich_info = 0x3A40;
inline constexpr uint16_t id_recipient_display_name = 0x5FF6;
inline constexpr uint16_t id_recipient_entry_id = 0x5FF7;
inline constexpr uint16_t id_recipient_flags = 0x5FFD;
inline constexpr uint16_t id_recipient_track_status = 0x5FFF;

// Attachment properties.
inline constexpr uint16_t id_attach_size = 0x0E20;
inline constexpr uint16_t id_attach_data = 0x3701;  // PT_BINARY data or PT_OBJECT reference
inline constexpr uint16_t id_attach_encoding = 0x3702;
inline constexpr uint16_t id_attach_extension = 0x3703;
inline constexpr uint16_t id_attach_filename = 0x3704;
inline constexpr uint16_t id_attach_method = 0x3705;
inline constexpr uint16_t id_attach_long_filename = 0x3707;
inline constexpr uint16_t id_rendering_position = 0x370B;
inline constexpr uint16_t id_attach_mime_tag = 0x370E;
inline constexpr uint16_t id_attach_content_id = 0x3712;
inline constexpr uint16_t id_attach_content_location = 0x3713;
inline constexpr uint16_t id_attach_flags = 0x3714;
inline constexpr uint16_t id_attachment_link_id = 0x7FFA;
inline constexpr uint16_t id_exception_start_time = 0x7FFB;
inline constexpr uint16_t id_exception_end_time = 0x7FFC;
inline constexpr uint16_t id_attachment_flags = 0x7FFD;
inline constexpr uint16_t id_attachment_hidden = 0x7FFE;

// PidTagAttachMethod values.
inline constexpr uint32_t attach_by_value = 1;
inline constexpr uint32_t attach_embedded_message = 5;
inline constexpr uint32_t attach_ole = 6;

inline constexpr uint32_t message_flag_has_attachments = 0x10;

}  // namespace vendrel::msg
