// Prints what pst-extractor reads from a PST file as JSON: the store name and
// the folder tree with every item's main fields, recipients and attachments
// (content as a SHA-256 so that large attachments compare cheaply).
// Usage: node pst_extractor_dump.js [--folders] FILE.pst
// With --folders only the folder tree is printed, one line per folder in
// preorder: depth, name and container class separated by tabs.
'use strict';
const crypto = require('crypto');
const { PSTFile } = require('pst-extractor');

// Loading the shared module also fixes pst-extractor's Long comparisons.
const { attachmentBytes } = require('./pst_extractor_common');

function dumpMessage(message) {
  const item = {
    messageClass: message.messageClass,
    subject: message.subject,
    body: message.body,
    bodyHTML: message.bodyHTML,
    senderName: message.senderName,
    senderEmailAddress: message.senderEmailAddress,
    importance: message.importance,
    sensitivity: message.sensitivity,
    messageDeliveryTime: message.messageDeliveryTime ? message.messageDeliveryTime.toISOString() : null,
    clientSubmitTime: message.clientSubmitTime ? message.clientSubmitTime.toISOString() : null,
    displayTo: message.displayTo,
    displayCC: message.displayCC,
    displayBCC: message.displayBCC,
    recipients: [],
    attachments: [],
  };
  for (let i = 0; i < message.numberOfRecipients; i++) {
    const r = message.getRecipient(i);
    item.recipients.push({
      displayName: r.displayName, emailAddress: r.emailAddress, addressType: r.addrType,
      recipientType: r.recipientType,
    });
  }
  for (let i = 0; i < message.numberOfAttachments; i++) {
    const a = message.getAttachment(i);
    const entry = { filename: a.longFilename || a.filename, mimeTag: a.mimeTag, method: a.attachMethod };
    const embedded = a.attachMethod === 5 ? a.embeddedPSTMessage : null;
    if (embedded) {
      entry.embedded = dumpMessage(embedded);
    } else {
      const bytes = attachmentBytes(a);
      entry.size = bytes.length;
      entry.sha256 = crypto.createHash('sha256').update(bytes).digest('hex');
    }
    item.attachments.push(entry);
  }
  return item;
}

function dumpFolder(folder) {
  const out = {
    name: folder.displayName, containerClass: folder.containerClass, contentCount: folder.contentCount,
    items: [], folders: [],
  };
  if (folder.contentCount > 0) {
    let child = folder.getNextChild();
    while (child) {
      out.items.push(dumpMessage(child));
      child = folder.getNextChild();
    }
  }
  if (folder.hasSubfolders) for (const sub of folder.getSubFolders()) out.folders.push(dumpFolder(sub));
  return out;
}

function printFolders(folder, depth) {
  process.stdout.write(`${depth}\t${folder.displayName}\t${folder.containerClass}\n`);
  if (folder.hasSubfolders) for (const sub of folder.getSubFolders()) printFolders(sub, depth + 1);
}

const args = process.argv.slice(2);
const foldersOnly = args[0] === '--folders';
const file = new PSTFile(foldersOnly ? args[1] : args[0]);
if (foldersOnly) {
  printFolders(file.getRootFolder(), 0);
} else {
  const result = { store: file.getMessageStore().displayName, root: dumpFolder(file.getRootFolder()) };
  process.stdout.write(JSON.stringify(result, null, 1) + '\n');
}
