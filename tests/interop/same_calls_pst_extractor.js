// Prints what pst-extractor shows of the file same_calls_host writes, in the
// line format of same_calls_dump.py: one line per folder and one per item,
// sorted; values escaped, texts, attachments and row cells as
// "<first 16 hex digits of the SHA-256>|<size>".
//
// Beside the items' fields, each folder's contents and hierarchy tables are
// read as pst-extractor reads them: the row counts, a digest of the
// hierarchy table's rows, and per item a digest of its contents-table row
// (every cell but the row ID, which is the node ID).
//
// Left out, as in same_calls_dump.py: what the library sets afresh on every
// run (an item's replication GUID, the times it stamps with the clock) and
// the node IDs behind rows and entry IDs.
// Usage: node same_calls_pst_extractor.js FILE.pst
'use strict';
const crypto = require('crypto');
const { PSTFile } = require('pst-extractor');
const { PSTRecipient } = require('pst-extractor/dist/PSTRecipient.class');
const { attachmentBytes, esc, utcText } = require('./pst_extractor_common');

const lines = [];

function topPath(path) {
  if (path === 'Start of IPM tree') return '';
  if (path.startsWith('Start of IPM tree/')) return path.substring('Start of IPM tree/'.length);
  return path;
}

// One line of fields, a list of [name, value]; null and undefined values left out.
function line(path, kind, fields) {
  const parts = [topPath(path)];
  if (kind) parts.push(kind);
  for (const [name, value] of fields) if (value !== null && value !== undefined) parts.push(`${name}=${esc(value)}`);
  lines.push(parts.join('\t'));
}

function digest(data) {
  if (data === null || data === undefined) return null;
  const bytes = Buffer.isBuffer(data) ? data : Buffer.from(String(data), 'utf8');
  return `${crypto.createHash('sha256').update(bytes).digest('hex').substring(0, 16)}|${bytes.length}`;
}

function subPath(path, name) {
  return path ? `${path}/${name}` : name;
}

// Cells of a contents-table row left out: the row ID (the node ID) and the
// replication GUID the library makes afresh for every item.
const ROW_VOLATILE = new Set([0x67f2, 0x0e30]);

// A table row (a Map of property ID to PSTTableItem) as text, one cell a line.
function rowText(row) {
  let text = '';
  for (const id of [...row.keys()].sort((a, b) => a - b)) {
    if (ROW_VOLATILE.has(id)) continue;
    const cell = row.get(id);
    const value = cell.data && cell.data.length ? Buffer.from(cell.data).toString('hex') : String(cell.entryValueReference);
    text += `${id.toString(16)}|${cell.entryValueType.toString(16)}|${value}\n`;
  }
  return text;
}

const kindFields = {
  PSTContact: ['displayName', 'givenName', 'surname', 'companyName', 'fileUnder', 'email1EmailAddress',
    'email1DisplayName', 'email1AddressType', 'businessTelephoneNumber'],
  PSTAppointment: ['location', 'startTime', 'endTime', 'duration', 'busyStatus'],
  PSTTask: ['taskStatus', 'percentComplete', 'isTaskComplete', 'taskOwner'],
};

function dumpItem(item, path, rows) {
  const subject = item.subject;
  const fields = [['type', item.constructor.name], ['class', item.messageClass], ['subject', subject],
    ['sender', `${item.senderName} <${item.senderEmailAddress}>`], ['to', item.displayTo], ['cc', item.displayCC],
    ['bcc', item.displayBCC], ['importance', item.importance], ['flags', item.getIntItem(0x0e07)],
    ['submit', utcText(item.clientSubmitTime)], ['delivery', utcText(item.messageDeliveryTime)],
    ['created', utcText(item.creationTime)], ['modified', utcText(item.modificationTime)],
    ['size', item.messageSize], ['body', digest(item.body)], ['html', digest(item.bodyHTML || null)]];
  for (const field of kindFields[item.constructor.name] || []) fields.push([field, utcText(item[field])]);
  const recipients = [];
  const recipientRows = item.numberOfRecipients ? item.recipientTable.getItems() : [];
  for (const row of recipientRows) {
    const r = new PSTRecipient(item.pstFile, row);
    recipients.push(`${r.recipientType}|${r.displayName}|${r.emailAddress}|${r.addrType}`);
  }
  if (recipients.length) fields.push(['recipients', recipients.join('; ')]);
  const attachments = [];
  for (let i = 0; i < item.numberOfAttachments; i++) {
    const a = item.getAttachment(i);
    attachments.push(`${a.longFilename || a.filename}|${a.mimeTag}|${digest(attachmentBytes(a))}`);
  }
  if (attachments.length) fields.push(['attachments', attachments.join('; ')]);
  const nid = item.descriptorIndexNode ? item.descriptorIndexNode.descriptorIdentifier : undefined;
  fields.push(['row', rows.has(nid) ? digest(rowText(rows.get(nid))) : 'none']);
  line(subPath(path, subject), null, fields);
}

function dumpFolder(folder, path) {
  // The contents table's rows by the node ID of their item.
  const rows = new Map();
  if (folder.contentCount > 0 || folder.emailCount > 0) {
    folder.initEmailsTable();
    if (folder.emailsTable) {
      for (const row of folder.emailsTable.getItems()) {
        const id = row.get(0x67f2);
        if (id) rows.set(id.entryValueReference, row);
      }
    }
  }
  if (path) {
    // The hierarchy table's rows, in the order they are stored.
    folder.initSubfoldersTable();
    const hierarchy = folder.subfoldersTable ? folder.subfoldersTable.getItems().map(rowText).join('\n') : null;
    line(path, 'folder', [['class', folder.containerClass], ['content_count', folder.contentCount],
      ['content_rows', folder.emailCount], ['has_subfolders', folder.hasSubfolders],
      ['hierarchy_rows', folder.subFolderCount], ['hierarchy', digest(hierarchy)]]);
  }
  if (folder.contentCount > 0) {
    let child = folder.getNextChild();
    while (child) {
      try {
        dumpItem(child, path, rows);
      } catch (err) {
        line(subPath(path, child.subject), 'error', [['error', String(err.message || err).split('\n')[0]]]);
      }
      child = folder.getNextChild();
    }
  }
  if (folder.hasSubfolders) {
    for (const sub of folder.getSubFolders()) dumpFolder(sub, subPath(path, sub.displayName));
  }
}

dumpFolder(new PSTFile(process.argv[2]).getRootFolder(), '');
lines.sort();
process.stdout.write(lines.map((l) => `${l}\n`).join(''));
