// Prints the contacts, appointments, tasks and sticky notes of a PST file as
// pst-extractor shows them, in the line format of kinds_lines.py:
// "<folder>/<subject>\t<field>\t<value>"; times are UTC "YYYY-MM-DD HH:MM:SS".
// Usage: node kinds_pst_extractor.js FILE.pst
'use strict';
const { PSTFile } = require('pst-extractor');

// The same fix of Long comparisons as pst_extractor_dump.js.
const Long = require(require.resolve('long', { paths: [require.resolve('pst-extractor')] }));
if (!Object.prototype.hasOwnProperty.call(Long.prototype, 'valueOf')) {
  Long.prototype.valueOf = function valueOf() { return this.toNumber(); };
}

function esc(value) {
  if (value === null || value === undefined) return '';
  return String(value).replace(/\\/g, '\\\\').replace(/\t/g, '\\t').replace(/\r/g, '\\r').replace(/\n/g, '\\n');
}
function out(path, field, value) {
  if (path.startsWith('Start of IPM tree/')) path = path.substring('Start of IPM tree/'.length);
  process.stdout.write(`${path}\t${field}\t${esc(value)}\n`);
}
function text(value) {
  if (value instanceof Date) return value.toISOString().substring(0, 19).replace('T', ' ');
  return value;
}

const fields = {
  PSTContact: ['displayName', 'givenName', 'surname', 'companyName', 'title', 'fileUnder', 'email1EmailAddress',
    'email1DisplayName', 'email1AddressType', 'businessTelephoneNumber', 'mobileTelephoneNumber',
    'homeTelephoneNumber', 'homeAddressStreet', 'homeAddressCity', 'homeAddressPostalCode', 'homeAddressCountry'],
  PSTAppointment: ['location', 'startTime', 'endTime', 'duration', 'busyStatus', 'reminderSet', 'reminderDelta'],
  PSTTask: ['taskStatus', 'percentComplete', 'isTaskComplete', 'taskOwner'],
  PSTMessage: [],
};

function walk(folder, path) {
  if (folder.contentCount > 0) {
    let item = folder.getNextChild();
    while (item) {
      const where = `${path}/${item.subject}`;
      out(where, 'class', item.messageClass);
      out(where, 'type', item.constructor.name);
      out(where, 'body', item.body);
      for (const field of fields[item.constructor.name] || []) out(where, field, text(item[field]));
      item = folder.getNextChild();
    }
  }
  if (folder.hasSubfolders) {
    for (const sub of folder.getSubFolders()) walk(sub, path ? `${path}/${sub.displayName}` : sub.displayName);
  }
}

const file = new PSTFile(process.argv[2]);
walk(file.getRootFolder(), '');
