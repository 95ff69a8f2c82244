// Prints the messages of a PST file as pst-extractor shows them, in the line
// format of reader_lines.py: "<message path>\t<field>\t<value>".
// Usage: node pst_extractor_lines.js FILE.pst
'use strict';
const crypto = require('crypto');
const { PSTFile } = require('pst-extractor');
const { attachmentBytes, openEmbeddedMessages, out } = require('./pst_extractor_common');

openEmbeddedMessages();

function time(value) {
  return value ? value.toISOString().substring(0, 19).replace('T', ' ') : '';
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
    const bytes = attachmentBytes(a);
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
