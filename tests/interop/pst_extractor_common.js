// What the pst-extractor scripts share: the reader's own faults worked
// around on load, the line format of the reader scripts ("<path>\t<field>\t
// <value>" with escaped values), an attachment's bytes and a time as UTC
// "YYYY-MM-DD HH:MM:SS".
'use strict';
const { PSTAttachment } = require('pst-extractor/dist/PSTAttachment.class');
const { PSTNodeInputStream } = require('pst-extractor/dist/PSTNodeInputStream.class');
const { PSTFile } = require('pst-extractor');
const { PSTTable7C } = require('pst-extractor/dist/PSTTable7C.class');
const { PSTTableBC } = require('pst-extractor/dist/PSTTableBC.class');
const { PSTTableItem } = require('pst-extractor/dist/PSTTableItem.class');
const { PSTUtil } = require('pst-extractor/dist/PSTUtil.class');

// A package pst-extractor depends on, as pst-extractor loads it.
const resolve = (name) => require.resolve(name, { paths: [require.resolve('pst-extractor')] });

// pst-extractor walks the 32-bit (ANSI) B-trees comparing Long keys with the
// < and > operators. Long has no valueOf, so those compare the keys' decimal
// strings, and in an ANSI file whose node B-tree has more than one level it
// looks for NID 0x61 ("97") in the wrong leaf and gives up. Comparing Longs
// by value restores what the reader means; the Unicode path already uses
// Long.greaterThan.
const Long = require(resolve('long'));
if (!Object.prototype.hasOwnProperty.call(Long.prototype, 'valueOf')) {
  Long.prototype.valueOf = function valueOf() { return this.toNumber(); };
}

// pst-extractor 1.x opens an embedded message only when the attachment has a
// node of its own, which an attachment never has, so it shows no embedded
// message of any file, the mail client's included. This is its own getter
// without that one condition; readpst and pffexport show the same messages.
// Called by the scripts that read embedded messages.
function openEmbeddedMessages() {
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
}

function esc(value) {
  if (value === null || value === undefined) return '';
  return String(value).replace(/\\/g, '\\\\').replace(/\t/g, '\\t').replace(/\r/g, '\\r').replace(/\n/g, '\\n');
}

// One fact a line; the folders below the IPM subtree as readpst names them.
function out(path, field, value) {
  if (path.startsWith('Start of IPM tree/')) path = path.substring('Start of IPM tree/'.length);
  process.stdout.write(`${path}\t${field}\t${esc(value)}\n`);
}

// A Date as UTC "YYYY-MM-DD HH:MM:SS"; any other value as it is.
function utcText(value) {
  return value instanceof Date ? value.toISOString().substring(0, 19).replace('T', ' ') : value;
}

function attachmentBytes(attachment) {
  const stream = attachment.fileInputStream;
  if (!stream) return Buffer.alloc(0);
  const chunks = [];
  const buffer = Buffer.alloc(8176);
  let read;
  while ((read = stream.read(buffer)) > 0) chunks.push(Buffer.from(buffer.subarray(0, read)));
  return Buffer.concat(chunks);
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

module.exports = { resolve, openEmbeddedMessages, esc, out, utcText, attachmentBytes };
