// Prints every recipient of every message as pst-extractor reads it, one
// line each: "<subject>\t<row>\t<type>|<name>|<email>|<address type>".
// Usage: node recipients_pst_extractor.js FILE.pst
'use strict';
const { PSTFile } = require('pst-extractor');
const { PSTTable7C } = require('pst-extractor/dist/PSTTable7C.class');
const { PSTTableItem } = require('pst-extractor/dist/PSTTableItem.class');
const Long = require(require.resolve('long', { paths: [require.resolve('pst-extractor')] }));
// The same fix of Long comparisons as pst_extractor_common.js.
if (!Object.prototype.hasOwnProperty.call(Long.prototype, 'valueOf')) {
  Long.prototype.valueOf = function valueOf() { return this.toNumber(); };
}

// Two bugs of pst-extractor 1.12's table rows (PSTTable7C.getItems), worked
// around here; readpst and libpff read the same tables without them:
//  1. In an ANSI file it moves each row of a row matrix past its first
//     block by 4 * (offset / 8176) more bytes, added again at every row, and
//     counts the rows of a block from 8176 bytes. [MS-PST] 2.3.4.4.1 puts
//     row N of an ANSI table at block N / floor(8180 / rowsize), and the
//     mail client's ANSI blocks are 8180 bytes, so every row after the
//     first block is read from the wrong bytes ("PSTTable::getNodeInfo:
//     block doesn't exist"). Here the rows of an ANSI table are read at the
//     offsets [MS-PST] gives, through pst-extractor's own stream and cells.
//  2. PSTMessage.getRecipient(i) decodes the whole table twice for each
//     recipient, which takes minutes for 500 recipients. The decoded rows
//     are kept per table.
const originalGetItems = PSTTable7C.prototype.getItems;

function readRow(table, start) {
  const item = new Map();
  const id = new PSTTableItem();
  id.itemIndex = -1;
  id.entryValueType = 3;
  id.entryType = Long.fromNumber(0x67f2);
  id.entryValueReference = table.rowNodeInfo.seekAndReadLong(Long.fromNumber(start), 4).toNumber();
  id.isExternalValueReference = true;
  item.set(0x67f2, id);
  const bitmap = Buffer.alloc(Math.ceil(table.numColumns / 8));
  table.rowNodeInfo.pstNodeInputStream.seek(Long.fromNumber(table.rowNodeInfo.startOffset + start + table.TCI_1b));
  table.rowNodeInfo.pstNodeInputStream.readCompletely(bitmap);
  for (let col = 0; col < table.numColumns; col++) {
    const d = table.columnDescriptors[col];
    if ((bitmap[d.iBit >> 3] & (0x80 >> (d.iBit & 7))) === 0) continue;
    const cell = new PSTTableItem();
    cell.itemIndex = col;
    cell.entryValueType = d.type;
    cell.entryType = Long.fromNumber(d.id);
    cell.entryValueReference = 0;
    if (d.cbData === 8) {
      cell.data = Buffer.alloc(8);
      table.rowNodeInfo.pstNodeInputStream.seek(Long.fromNumber(table.rowNodeInfo.startOffset + start + d.ibData));
      table.rowNodeInfo.pstNodeInputStream.readCompletely(cell.data);
    } else {
      cell.entryValueReference = table.rowNodeInfo.seekAndReadLong(Long.fromNumber(start + d.ibData), d.cbData).toNumber();
      const fixed = d.cbData < 4 || d.type === 0x0003 || d.type === 0x0004 || d.type === 0x000a;
      if (fixed || (cell.entryValueReference & 0x1f) !== 0) {
        cell.isExternalValueReference = true;
      } else if (cell.entryValueReference === 0) {
        cell.data = Buffer.alloc(0);
      } else {
        const info = table.getNodeInfo(cell.entryValueReference);
        if (info) {
          cell.data = Buffer.alloc(info.length());
          info.pstNodeInputStream.seek(Long.fromNumber(info.startOffset));
          info.pstNodeInputStream.readCompletely(cell.data);
        }
      }
    }
    item.set(d.id, cell);
  }
  return item;
}

PSTTable7C.prototype.getItems = function getItems(startAtRecord, numberOfRecordsToReturn) {
  const ansi = this.rowNodeInfo.pstNodeInputStream.pstFile.pstFileType === PSTFile.PST_TYPE_ANSI;
  if (startAtRecord !== undefined && !ansi) return originalGetItems.call(this, startAtRecord, numberOfRecordsToReturn);
  if (startAtRecord === undefined && this.keptRows) return this.keptRows;
  if (!ansi) {
    this.keptRows = originalGetItems.call(this);
    return this.keptRows;
  }
  const blockSize = 8180;
  const perBlock = Math.floor(blockSize / this.TCI_bm);
  const first = startAtRecord === undefined ? 0 : startAtRecord;
  const count = startAtRecord === undefined ? this.rowCount : Math.min(numberOfRecordsToReturn || 0, this.rowCount - first);
  const rows = [];
  for (let n = first; n < first + count; n++)
    rows.push(readRow(this, Math.floor(n / perBlock) * blockSize + (n % perBlock) * this.TCI_bm));
  if (startAtRecord === undefined) this.keptRows = rows;
  return rows;
};

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
