// What the pst-extractor scripts share: the reader's own faults worked
// around on load, the line format of the reader scripts ("<path>\t<field>\t
// <value>" with escaped values), an attachment's bytes and a time as UTC
// "YYYY-MM-DD HH:MM:SS".
'use strict';
const { PSTAttachment } = require('pst-extractor/dist/PSTAttachment.class');
const { PSTNodeInputStream } = require('pst-extractor/dist/PSTNodeInputStream.class');
const { PSTTableBC } = require('pst-extractor/dist/PSTTableBC.class');
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

module.exports = { resolve, openEmbeddedMessages, esc, out, utcText, attachmentBytes };
