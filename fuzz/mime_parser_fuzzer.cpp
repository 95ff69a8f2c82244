// The MIME parser on arbitrary bytes: loading never reads past the input,
// and what it parsed stores and reloads; the field decoders, the EML reader
// and the codecs run over the parsed values.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "eml/eml_reader.h"
#include "mime/address_list.h"
#include "mime/base64.h"
#include "mime/encoded_word.h"
#include "mime/mime_message.h"
#include "mime/quoted_printable.h"

namespace {

void visit(const vendrel::CMimeBody& body, int depth) {
  for (const vendrel::CMimeField& field : body.fields()) {
    std::string charset;
    (void)field.decoded_value(&charset);
    (void)vendrel::CMimeEncodedWord::decode_segments(field.value());
  }
  (void)body.media_type();
  (void)body.subtype();
  (void)body.boundary();
  (void)body.content_charset();
  (void)body.parameter("Content-Disposition", "filename");
  (void)body.parameter("Content-Type", "name");
  for (const auto& child : body.children()) visit(*child, depth + 1);
  if (body.message()) visit(*body.message(), depth + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that ASan sees any read past the end.
  const std::string input(reinterpret_cast<const char*>(data), size);
  vendrel::CMimeMessage message;
  message.load(input.data(), input.size());
  visit(message, 0);
  (void)message.addresses("From");
  (void)message.addresses("To");
  (void)vendrel::parse_eml_date(message.date());

  const std::string stored = message.to_string();
  vendrel::CMimeMessage again;
  again.load(stored);
  (void)again.to_string();

  (void)vendrel::read_eml(message);

  vendrel::CMimeCodeQP qp;
  (void)vendrel::mime_decode(qp, input);
  (void)vendrel::mime_encode(qp, input);
  vendrel::CMimeCodeBase64 base64;
  (void)vendrel::mime_decode(base64, input);
  vendrel::CMimeEncodedWord word;
  word.set_charset("utf-8");
  (void)vendrel::mime_encode(word, input);
  (void)vendrel::mime_decode(word, input);
  return 0;
}
