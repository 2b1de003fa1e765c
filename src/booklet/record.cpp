// The booklet record: elements of an index byte, a length byte and that many
// bytes of PCL XL, back to back after the marker.
#include "booklet/record.h"

#include <cstring>
#include <utility>

#include "support/text.h"

namespace {

constexpr BYTE kMaxSnippet = 31;
constexpr DWORD kLastElementStart = 255;  // positions in the record are 8-bit
constexpr DWORD kPrefixBytes = 8;         // element 2 of a software booklet

struct Element {
  BYTE index = 0, length = 0;
  const BYTE* data = nullptr;
};

// Reads the elements in order, never past the buffer; the first problem
// ends the record.
class RecordReader {
 public:
  RecordReader(const BYTE* p, DWORD n) : p_(p), n_(n) {}

  bool Next(Element* e) {
    if (!Fits(2)) return false;
    e->index = p_[at_];
    e->length = p_[at_ + 1];
    e->data = p_ + at_ + 2;
    if (e->length > kMaxSnippet) return Fail(TEXT("an element is longer than 31 bytes"));
    if (2u + e->length > n_ - at_) return Fail(TEXT("the buffer ends inside an element"));
    at_ += 2u + e->length;
    return true;
  }
  // Element 13: the index and the rotation selector, no data.
  bool NextPair(BYTE* index, BYTE* value) {
    if (!Fits(2)) return false;
    *index = p_[at_];
    *value = p_[at_ + 1];
    at_ += 2;
    return true;
  }
  bool Fail(LPCWSTR why) {
    if (!problem_) problem_ = why;
    return false;
  }
  // A better account of the problem than the one the reading met.
  void Refuse(LPCWSTR why) { problem_ = why; }
  LPCWSTR problem() const { return problem_; }

 private:
  bool Fits(DWORD bytes) {
    if (at_ > kLastElementStart) return Fail(TEXT("an element starts past byte 255"));
    if (at_ + bytes > n_) return Fail(TEXT("the buffer ends inside an element"));
    return true;
  }

  const BYTE* p_;
  DWORD n_;
  DWORD at_ = 4;  // after the marker
  LPCWSTR problem_ = nullptr;
};

void TraceElement(LPCWSTR label, const Element& e) {
  TraceFormat(TEXT("%s : index = %d, size = %d \r\n"), label, static_cast<int>(e.index), static_cast<int>(e.length));
}

void Store(BOOKLET_SNIPPET* slot, const BYTE* data, BYTE length) {
  slot->bLength = length;
  std::memcpy(slot->abData, data, length);
}

void Store(BOOKLET_SNIPPET* slot, const Element& e) { Store(slot, e.data, e.length); }

// Element 2: the BeginPage snippet, in a software booklet after the two
// page prefixes.
bool ReadBeginPage(RecordReader& reader, bool software, BOOKLET_INFO* store, BYTE (*prefixes)[4]) {
  Element e;
  if (!reader.Next(&e)) return false;
  if (!software) {
    Store(&store->abBeginPage, e);
    return true;
  }
  if (e.length < kPrefixBytes) return reader.Fail(TEXT("element 2 holds fewer than the 8 prefix bytes"));
  std::memcpy(prefixes, e.data, kPrefixBytes);
  Store(&store->abBeginPage, e.data + kPrefixBytes, static_cast<BYTE>(e.length - kPrefixBytes));
  return true;
}

// The elements in order into the store, with their traces; false at the
// first one that does not fit.
bool ReadRecord(RecordReader& reader, bool software, bool overlay, BOOKLET_INFO* store, BYTE (*prefixes)[4]) {
  Element e;
  if (!reader.Next(&e)) return false;
  TraceElement(TEXT("BeginPage"), e);
  Store(&store->abBeginPageAlt, e);
  if (!ReadBeginPage(reader, software, store, prefixes)) return false;
  // Elements 3 to 12, each to its slot, with its trace label.
  const std::pair<LPCWSTR, BOOKLET_SNIPPET*> slots[] = {
      {TEXT("EndPage"), &store->abEndPage},
      {TEXT("SetPageOrigin[0]"), &store->abPageOrigin[0]},
      {TEXT("SetPageOrigin[1]"), &store->abPageOrigin[1]},
      {TEXT("SetPageOrigin[2]"), &store->abPageOrigin[2]},
      {TEXT("SetPageOrigin[3]"), &store->abPageOrigin[3]},
      {TEXT("SetPageRotation"), &store->abPageRotation[0]},
      {TEXT("SetPageRotation"), &store->abPageRotation[1]},
      {TEXT("SetPageScale"), &store->abPageScale},
      {TEXT("SetClipMode"), &store->abClipMode},
      {TEXT("BorderData"), &store->abBorderData},
  };
  for (auto [label, slot] : slots) {
    if (!reader.Next(&e)) return false;
    TraceElement(label, e);
    Store(slot, e);
  }
  BYTE index = 0, selector = 0;
  if (!reader.NextPair(&index, &selector)) return false;
  TraceFormat(TEXT("BorderData : index = %d, size = %d \r\n"), static_cast<int>(index), static_cast<int>(selector));
  store->bRotationSelector = selector;
  for (int k = 0; overlay && k < 2; ++k) {
    if (!reader.Next(&e)) {
      reader.Refuse(TEXT("the overlay elements are missing"));
      return false;
    }
    TraceElement(TEXT("ExecStream"), e);
    Store(&store->abExecStream[k], e);
  }
  return true;
}

}  // namespace

BOOL InitBooklet(JobData* pData, const BYTE* pBuf, DWORD cbBuf) {
  bool software = BookletOrderFor(pData->Settings) == ReplayOrder::SoftwareBooklet;
  // Parsed into copies: a record that cannot be taken whole changes nothing.
  BOOKLET_INFO store = pData->booklet_info;
  BYTE prefixes[2][4];
  std::memcpy(prefixes, pData->abPagePrefix, sizeof prefixes);
  RecordReader reader(pBuf, cbBuf);
  Trace(TEXT(".... Booklet Enabled ...\r\n"));
  if (!ReadRecord(reader, software, pData->plan.form == FormUse::Print, &store, prefixes)) {
    TraceFormat(TEXT("Booklet record refused: %s; the job prints as if none had come.\r\n"), reader.problem());
    return TRUE;
  }
  store.bHaveRecord = TRUE;
  pData->booklet_info = store;
  if (software) std::memcpy(pData->abPagePrefix, prefixes, sizeof prefixes);
  ReplanJob(pData);  // the job is a booklet now, whatever else it asked for
  return TRUE;
}
