// Writes the bodies of the messages of a PST file, as pst-extractor shows
// them, into files of a directory: "<subject>.plain", "<subject>.html" and
// "<subject>.rtf", all as UTF-8 text; a body the reader shows as empty or
// not at all has no file. Subjects are plain ASCII names.
// Usage: node bodies_pst_extractor.js FILE.pst OUT_DIR
'use strict';
const fs = require('fs');
const path = require('path');
const { PSTFile } = require('pst-extractor');

// The same fix of pst-extractor's Long comparisons as pst_extractor_common.js
// makes: without it, ANSI files with a node B-tree of several levels fail.
const Long = require(require.resolve('long', { paths: [require.resolve('pst-extractor')] }));
if (!Object.prototype.hasOwnProperty.call(Long.prototype, 'valueOf')) {
  Long.prototype.valueOf = function valueOf() { return this.toNumber(); };
}

function write(outDir, name, text) {
  if (text) fs.writeFileSync(path.join(outDir, name), text, 'utf8');
}

function subjectText(subject) {
  return subject && subject.charCodeAt(0) === 1 ? subject.slice(2) : subject || '';
}

function dumpFolder(folder, outDir) {
  if (folder.contentCount > 0) {
    let message = folder.getNextChild();
    while (message) {
      const subject = subjectText(message.subject);
      write(outDir, subject + '.plain', message.body);
      write(outDir, subject + '.html', message.bodyHTML);
      write(outDir, subject + '.rtf', message.bodyRTF);
      message = folder.getNextChild();
    }
  }
  if (folder.hasSubfolders) for (const sub of folder.getSubFolders()) dumpFolder(sub, outDir);
}

const [file, outDir] = process.argv.slice(2);
fs.mkdirSync(outDir, { recursive: true });
dumpFolder(new PSTFile(file).getRootFolder(), outDir);
