// Prints the messages of a PST file as pst-extractor shows them, in the line
// format of reader_lines.py: "<message path>\t<field>\t<value>".
// Usage: node pst_extractor_lines.js FILE.pst
'use strict';
const crypto = require('crypto');
const { PSTFile } = require('pst-extractor');
const { PSTAttachment } = require('pst-extractor/dist/PSTAttachment.class');
const { PSTNodeInputStream } = require('pst-extractor/dist/PSTNodeInputStream.class');
const { PSTTableBC } = require('pst-extractor/dist/PSTTableBC.class');
const { PSTUtil } = require('pst-extractor/dist/PSTUtil.class');

// The same fix of Long comparisons as pst_extractor_dump.js.
const Long = require(require.resolve('long', { paths: [require.resolve('pst-extractor')] }));
if (!Object.prototype.hasOwnProperty.call(Long.prototype, 'valueOf')) {
  Long.prototype.valueOf = function valueOf() { return this.toNumber(); };
}

// pst-extractor 1.x opens an embedded message only when the attachment has a
// node of its own, which an attachment never has, so it shows no embedded
// message of any file. This is its own getter without that one condition.
Object.defineProperty(PSTAttachment.prototype, 'embeddedPSTMessage', {
  get() {
    if (this.getIntItem(0x3705) !== 5) return null;
    const item = this.pstTableItems ? this.pstTableItems.get(0x3701) : null;
    let stream = null;
    if (item && item.entryValueType === 0x0102 && !item.isExternalValueReference) {
      stream = new PSTNodeInputStream(this.pstFile, item.data);
    } else if (item && item.entryValueType === 0x000d) {
      const nid = PSTUtil.convertLittleEndianBytesToLong(item.data, 0, 4).toNumber();
      const nested = this.localDescriptorItems ? this.localDescriptorItems.get(nid) : null;
      if (nested) {
        stream = new PSTNodeInputStream(this.pstFile, nested);
        if (nested.subNodeOffsetIndexIdentifier > 0) {
          this.localDescriptorItems = this.pstFile.getPSTDescriptorItems(Long.fromNumber(nested.subNodeOffsetIndexIdentifier));
        }
      }
    }
    if (!stream) return null;
    return PSTUtil.createAppropriatePSTMessageObject(this.pstFile, null, new PSTTableBC(stream), this.localDescriptorItems);
  },
});

function esc(value) {
  if (value === null || value === undefined) return '';
  return String(value).replace(/\\/g, '\\\\').replace(/\t/g, '\\t').replace(/\r/g, '\\r').replace(/\n/g, '\\n');
}
function out(path, field, value) {
  if (path.startsWith('Start of IPM tree/')) path = path.substring('Start of IPM tree/'.length);
  process.stdout.write(`${path}\t${field}\t${esc(value)}\n`);
}
function time(value) {
  return value ? value.toISOString().substring(0, 19).replace('T', ' ') : '';
}
function bytesOf(attachment) {
  const stream = attachment.fileInputStream;
  if (!stream) return Buffer.alloc(0);
  const chunks = [];
  const buffer = Buffer.alloc(8176);
  let read;
  while ((read = stream.read(buffer)) > 0) chunks.push(Buffer.from(buffer.subarray(0, read)));
  return Buffer.concat(chunks);
}

function dumpMessage(message, base) {
  const path = `${base}/${message.subject}`;
  out(path, 'subject', message.subject);
  out(path, 'body', message.body);
  out(path, 'sender_name', message.senderName);
  out(path, 'sender_email', message.senderEmailAddress);
  out(path, 'class', message.messageClass);
  out(path, 'importance', message.importance);
  out(path, 'sensitivity', message.sensitivity);
  out(path, 'delivery_time', time(message.messageDeliveryTime));
  out(path, 'client_submit_time', time(message.clientSubmitTime));
  out(path, 'creation_time', time(message.creationTime));
  out(path, 'modification_time', time(message.lastModificationTime));
  out(path, 'display_to', message.displayTo);
  out(path, 'display_cc', message.displayCC);
  out(path, 'display_bcc', message.displayBCC);
  for (let i = 0; i < message.numberOfRecipients; i++) {
    const r = message.getRecipient(i);
    out(path, 'recipient', `${r.recipientType}|${r.displayName}|${r.emailAddress}|${r.addrType}`);
  }
  for (let i = 0; i < message.numberOfAttachments; i++) {
    const a = message.getAttachment(i);
    const embedded = a.attachMethod === 5 ? a.embeddedPSTMessage : null;
    if (embedded) {
      dumpMessage(embedded, `${path} >`);
      continue;
    }
    const bytes = bytesOf(a);
    const hash = crypto.createHash('sha256').update(bytes).digest('hex');
    out(path, 'attachment', `${a.longFilename || a.filename || a.displayName}|${bytes.length}|${hash}`);
  }
}

function dumpFolder(folder, path) {
  if (folder.contentCount > 0) {
    let child = folder.getNextChild();
    while (child) {
      dumpMessage(child, path);
      child = folder.getNextChild();
    }
  }
  if (folder.hasSubfolders) {
    for (const sub of folder.getSubFolders()) dumpFolder(sub, path ? `${path}/${sub.displayName}` : sub.displayName);
  }
}

dumpFolder(new PSTFile(process.argv[2]).getRootFolder(), '');
