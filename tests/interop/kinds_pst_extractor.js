// Prints the contacts, appointments, tasks and sticky notes of a PST file as
// pst-extractor shows them, in the line format of kinds_lines.py:
// "<folder>/<subject>\t<field>\t<value>"; times are UTC "YYYY-MM-DD HH:MM:SS".
// Usage: node kinds_pst_extractor.js FILE.pst
'use strict';
const { PSTFile } = require('pst-extractor');

const { out, utcText } = require('./pst_extractor_common');

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
      for (const field of fields[item.constructor.name] || []) out(where, field, utcText(item[field]));
      item = folder.getNextChild();
    }
  }
  if (folder.hasSubfolders) {
    for (const sub of folder.getSubFolders()) walk(sub, path ? `${path}/${sub.displayName}` : sub.displayName);
  }
}

const file = new PSTFile(process.argv[2]);
walk(file.getRootFolder(), '');
