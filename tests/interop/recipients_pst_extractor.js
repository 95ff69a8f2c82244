// Prints every recipient of every message as pst-extractor reads it, one
// line each: "<subject>\t<row>\t<type>|<name>|<email>|<address type>".
// Usage: node recipients_pst_extractor.js FILE.pst
'use strict';
const { PSTFile } = require('pst-extractor');
// Loaded for the reader's faults it works around (Long comparisons, the
// rows of ANSI tables, a table decoded for every recipient).
require('./pst_extractor_common');

function dumpFolder(folder) {
  if (folder.contentCount > 0) {
    let message = folder.getNextChild();
    while (message) {
      for (let i = 0; i < message.numberOfRecipients; i++) {
        const r = message.getRecipient(i);
        process.stdout.write(`${message.subject}\t${i}\t${r.recipientType}|${r.displayName}|${r.emailAddress}|${r.addrType}\n`);
      }
      message = folder.getNextChild();
    }
  }
  if (folder.hasSubfolders) for (const sub of folder.getSubFolders()) dumpFolder(sub);
}

dumpFolder(new PSTFile(process.argv[2]).getRootFolder());
