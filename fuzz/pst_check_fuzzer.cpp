// The file checker as a whole, and the store listing, on a PST image: no
// input may crash them, hang them or make them allocate without bound.
#include <cstddef>
#include <cstdint>

#include "check/pst_check.h"
#include "check/store_listing.h"
#include "read_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vendrel;
  fuzz::memory_stream stream({data, size});
  if (auto file = stream.open()) {
    check_options options;
    options.max_findings = 200;
    check_report report = check_pst(*file, options);
    (void)report.count(check_severity::error);
  }
  store_listing_callbacks callbacks;
  size_t seen = 0;
  callbacks.folder = [&](const listed_folder& f) { seen += f.name.size(); };
  callbacks.item = [&](const listed_item& i) { seen += i.subject.size(); };
  std::string error;
  list_store(stream_file_name, callbacks, error);
  return 0;
}
