// Prints what pst-extractor shows of the corpus file that corpus_test.cpp
// writes, in the line format of corpus_readers.py: "<item path>\t<field>\t
// <value>", an item's path being its folder path, "/", and the first word
// of its subject (" > " and the first word for an embedded message).
// Usage: node corpus_pst_extractor.js FILE.pst
'use strict';
const crypto = require('crypto');
const { PSTFile } = require('pst-extractor');
const { PSTRecipient } = require('pst-extractor/dist/PSTRecipient.class');
const { attachmentBytes, openEmbeddedMessages, out, resolve, utcText } = require('./pst_extractor_common');

const iconv = require(resolve('iconv-lite'));

// pst-extractor's own faults with Long keys in ANSI B-trees and with
// embedded messages are worked around in pst_extractor_common.js; readpst
// and pffexport show the same embedded messages.
openEmbeddedMessages();

const LONG_TEXT = 2000;

function key(subject) {
  return (subject || '').split(' ')[0];
}
function textValue(text) {
  if (text === null || text === undefined) return text;
  const data = Buffer.from(String(text), 'utf8');
  if (data.length <= LONG_TEXT) return text;
  return `sha256:${crypto.createHash('sha256').update(data).digest('hex')}|${data.length}`;
}

// The stored bytes of a property, or null.
function rawValue(object, id) {
  const item = object.pstTableItems ? object.pstTableItems.get(id) : null;
  if (!item) return null;
  const inline = { 0x0002: 2, 0x0003: 4, 0x0004: 4, 0x000a: 4, 0x000b: 1 }[item.entryValueType];
  if (inline) {
    const b = Buffer.alloc(4);
    b.writeUInt32LE(item.entryValueReference >>> 0);
    return { type: item.entryValueType, data: b.subarray(0, inline) };
  }
  if (!item.isExternalValueReference) return { type: item.entryValueType, data: item.data };
  const nested = object.localDescriptorItems ? object.localDescriptorItems.get(item.entryValueReference) : null;
  return { type: item.entryValueType, data: nested ? nested.getData() : Buffer.alloc(0) };
}

// A text as pst-extractor shows it. pst-extractor decodes an 8-bit string
// in the code page of the object that holds it (PidTagMessageCodepage or
// PidTagInternetCodepage) and, where an object has none (folders,
// recipient rows), as UTF-8, which no ANSI file of the mail client holds.
// Such a string is decoded here in windows-1252, the readers' default for
// ANSI files; pypff, pffexport and readpst show the same texts.
function text(object, id, shown) {
  const item = object.pstTableItems ? object.pstTableItems.get(id) : null;
  if (item && item.entryValueType === 0x001e && !object.stringCodepage) {
    const raw = rawValue(object, id);
    return iconv.decode(raw.data, 'windows-1252').replace(/\0+$/, '');
  }
  return shown;
}

function propLines(object, path) {
  if (!object.pstTableItems) return;
  for (const id of [...object.pstTableItems.keys()].sort((a, b) => a - b)) {
    const raw = rawValue(object, id);
    if (!raw || !raw.data || (id < 0x8000 && raw.data.length > 512)) continue;
    const hexId = id.toString(16).toUpperCase().padStart(4, '0');
    const hexType = raw.type.toString(16).toUpperCase().padStart(4, '0');
    out(path, `prop:${hexId}`, `${hexType}|${Buffer.from(raw.data).toString('hex')}`);
  }
}

const kindFields = {
  PSTContact: ['displayName', 'givenName', 'surname', 'companyName', 'title', 'fileUnder', 'email1EmailAddress',
    'email1DisplayName', 'email1AddressType', 'businessTelephoneNumber', 'mobileTelephoneNumber',
    'homeAddressStreet', 'homeAddressCity', 'homeAddressPostalCode', 'homeAddressCountry'],
  PSTAppointment: ['location', 'startTime', 'endTime', 'duration', 'busyStatus', 'reminderSet', 'reminderDelta'],
  PSTTask: ['taskStatus', 'percentComplete', 'isTaskComplete', 'taskOwner'],
};

function dumpMessage(message, base) {
  const subject = message.subject;
  const path = `${base}/${key(subject)}`;
  out(path, 'subject', subject);
  if (message.body) out(path, 'body', textValue(message.body));
  if (message.bodyHTML) out(path, 'html', textValue(message.bodyHTML));
  if (message.bodyRTF) out(path, 'rtf', textValue(message.bodyRTF));
  out(path, 'sender_name', message.senderName);
  out(path, 'sender_email', message.senderEmailAddress);
  out(path, 'class', message.messageClass);
  out(path, 'importance', message.importance);
  out(path, 'sensitivity', message.sensitivity);
  out(path, 'delivery_time', utcText(message.messageDeliveryTime));
  out(path, 'client_submit_time', utcText(message.clientSubmitTime));
  out(path, 'creation_time', utcText(message.creationTime));
  out(path, 'modification_time', utcText(message.modificationTime));
  out(path, 'display_to', message.displayTo);
  out(path, 'display_cc', message.displayCC);
  out(path, 'display_bcc', message.displayBCC);
  for (const field of kindFields[message.constructor.name] || []) out(path, field, utcText(message[field]));
  propLines(message, path);
  out(path, 'recipient_count', message.numberOfRecipients);
  // getRecipient(i) decodes the whole recipient table for each recipient:
  // the rows are decoded once here and read as getRecipient reads them.
  const rows = message.numberOfRecipients ? message.recipientTable.getItems() : [];
  for (const row of rows) {
    const r = new PSTRecipient(message.pstFile, row);
    const name = text(r, 0x3001, r.displayName);
    const email = text(r, 0x39fe, '') || text(r, 0x3003, r.emailAddress);
    out(path, 'recipient', `${r.recipientType}|${name}|${email}|${text(r, 0x3002, r.addrType)}`);
  }
  for (let i = 0; i < message.numberOfAttachments; i++) {
    const a = message.getAttachment(i);
    const embedded = a.attachMethod === 5 ? a.embeddedPSTMessage : null;
    if (embedded) {
      dumpMessage(embedded, `${path} >`);
      continue;
    }
    if (a.attachMethod === 6) continue;  // an OLE object: pst-extractor reads its reference, not its data
    const bytes = attachmentBytes(a);
    const hash = crypto.createHash('sha256').update(bytes).digest('hex');
    out(path, 'attachment', `${a.longFilename || a.filename || a.displayName}|${bytes.length}|${hash}`);
  }
}

function dumpFolder(folder, path) {
  if (path) out(path, 'folder_class', text(folder, 0x3613, folder.containerClass));
  if (folder.contentCount > 0) {
    let child = folder.getNextChild();
    while (child) {
      // A message the reader fails on is one "error" line; the rest of the
      // file is still read.
      try {
        dumpMessage(child, path);
      } catch (err) {
        out(`${path}/${key(child.subject)}`, 'error', String(err.message || err).split('\n')[0]);
      }
      child = folder.getNextChild();
    }
  }
  if (folder.hasSubfolders) {
    for (const sub of folder.getSubFolders()) {
      const name = text(sub, 0x3001, sub.displayName);
      dumpFolder(sub, path ? `${path}/${name}` : name);
    }
  }
}

dumpFolder(new PSTFile(process.argv[2]).getRootFolder(), '');
