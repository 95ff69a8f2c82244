// Damaged and random input: parsing and the codecs must give a result
// without reading past the buffer (exact-size heap copies let the
// sanitizer build see any overread) and without failing.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "mime/address_list.h"
#include "mime/base64.h"
#include "mime/encoded_word.h"
#include "mime/mime_message.h"
#include "mime/parameters.h"
#include "mime/quoted_printable.h"
#include "mime_fixtures.h"

namespace vendrel {
namespace {

// A heap block of exactly the text's size.
class ExactBuffer {
 public:
  explicit ExactBuffer(std::string_view text) : size_(text.size()), data_(new char[text.size() ? text.size() : 1]) {
    std::copy(text.begin(), text.end(), data_.get());
  }
  const char* data() const { return data_.get(); }
  size_t size() const { return size_; }
  std::string_view view() const { return std::string_view(data_.get(), size_); }

 private:
  size_t size_;
  std::unique_ptr<char[]> data_;
};

void exercise_message(std::string_view text) {
  const ExactBuffer buffer(text);
  CMimeMessage message;
  EXPECT_EQ(message.load(buffer.data(), buffer.size()), buffer.size());
  const std::string stored = message.to_string();
  CMimeMessage reloaded;
  reloaded.load(stored);
  for (const CMimeField& field : message.fields()) {
    const ExactBuffer value(field.value());
    (void)CMimeEncodedWord::decode_text(value.view());
    (void)parse_address_list(value.view());
    (void)mime::find_parameter(value.view(), "name");
    (void)field.decoded_value();
  }
}

void exercise_codecs(std::string_view text) {
  const ExactBuffer buffer(text);
  CMimeCodeQP qp;
  CMimeCodeBase64 base64;
  CMimeEncodedWord word;
  word.set_charset("utf-8");
  for (CMimeCodeBase* codec : std::initializer_list<CMimeCodeBase*>{&qp, &base64, &word}) {
    for (bool encoding : {true, false}) {
      codec->set_input(buffer.data(), buffer.size(), encoding);
      const size_t length = codec->output_length();
      std::unique_ptr<char[]> out(new char[length ? length : 1]);
      EXPECT_EQ(codec->get_output(out.get(), length), length);
    }
  }
}

const char* const kFragments[] = {"\r\n",   "\n",      "--b",     "--b--", "=?",      "?=",   "?Q?", "?B?",
                                  "=",      "=\r\n",   "\"",      "\\",    "(",       ")",    "<",   ">",
                                  ":",      ";",       ",",       "@",     "*0*=",    "'",    "%",   " ",
                                  "\t",     "\xE9",    "Content-Type: multipart/mixed; boundary=b\r\n",
                                  "Content-Transfer-Encoding: quoted-printable\r\n",
                                  "Content-Transfer-Encoding: base64\r\n", "Content-Type: message/rfc822\r\n"};

TEST(MalformedInput, RandomFragmentsNeverFailOrOverread) {
  std::mt19937 random(2024);
  for (int round = 0; round < 400; ++round) {
    std::string text;
    const int pieces = static_cast<int>(random() % 60);
    for (int i = 0; i < pieces; ++i) {
      if (random() % 4 == 0)
        text.push_back(static_cast<char>(random() % 256));
      else
        text += kFragments[random() % std::size(kFragments)];
    }
    exercise_message(text);
    exercise_codecs(text);
  }
}

TEST(MalformedInput, TruncatedAndDamagedCorpusMessages) {
  if (!std::filesystem::is_directory(test::eml_corpus())) GTEST_SKIP() << "no corpus";
  std::mt19937 random(99);
  int files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(test::eml_corpus())) {
    if (!entry.is_regular_file() || entry.path().extension() != ".eml") continue;
    if (++files % 3 != 0) continue;  // a third of the corpus keeps the test short
    const std::string text = test::read_binary(entry.path());
    for (size_t cut : {size_t{0}, size_t{1}, text.size() / 3, text.size() / 2, text.size() - 1}) {
      if (cut > text.size()) continue;
      exercise_message(std::string_view(text).substr(0, cut));
    }
    std::string damaged = text;
    for (int i = 0; i < 20 && !damaged.empty(); ++i) damaged[random() % damaged.size()] = static_cast<char>(random());
    exercise_message(damaged);
    exercise_codecs(std::string_view(text).substr(0, 2000));
  }
}

}  // namespace
}  // namespace vendrel
