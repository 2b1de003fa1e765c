// Reading and checking PCL XL as a printer would.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/pxl_builder.h"
#include "support/session_cases.h"

namespace {

using test::slurp;

using pclxl::DataType;
namespace attr = pclxl::attr;
namespace op = pclxl::op;

std::vector<std::filesystem::path> ghostscriptDocuments() {
  std::vector<std::filesystem::path> r;
  for (auto dir : {KQXL_SOURCE_DIR "/examples", KQXL_SOURCE_DIR "/tests/data"})
    for (auto& e : std::filesystem::directory_iterator(dir))
      if (e.path().extension() == ".pxl") r.push_back(e.path());
  return r;
}

// The first problem, as "offset: message".
std::string firstProblem(const pclxl::Checker& c) {
  if (c.problems().empty()) return "none";
  return std::to_string(c.problems()[0].offset) + ": " + c.problems()[0].message;
}

TEST(Checker, AcceptsEveryGhostscriptDocument) {
  auto docs = ghostscriptDocuments();
  ASSERT_GE(docs.size(), 4u);
  for (auto& path : docs) {
    std::string bytes = slurp(path);
    auto c = test::checkBytes(bytes);
    EXPECT_TRUE(c.problems().empty()) << path << ": " << firstProblem(c);
    EXPECT_EQ(c.summary().sessions, 1u) << path;
    EXPECT_EQ(c.summary().bytes, bytes.size());
    EXPECT_EQ(c.pages().size(), c.summary().pages);
  }
}

// Fonts, streams and colour spaces followed across a session, and the
// attributes each operator takes, as a printer judges them.
TEST(Checker, FollowsTheSessionsStateAsAPrinterDoes) {
  for (auto& c : test::sessionCases()) {
    auto checker = test::checkBytes(c.bytes);
    if (!c.problem) EXPECT_TRUE(checker.problems().empty()) << c.label << ": " << firstProblem(checker);
    else
      EXPECT_NE(firstProblem(checker).find(c.problem), std::string::npos) << c.label << ": " << firstProblem(checker);
  }
}

// Port output that a printer refused, made before jobs carried their fonts
// in the header, with the reason the printer gave.
TEST(Checker, RefusesWhatAPrinterRefused) {
  const std::pair<const char*, const char*> refused[] = {
      {"numbered-reverse.prn", "the printer fails at BeginChar"},
      {"numbered-even.prn", "the printer fails at BeginChar"},
      {"numbered-collated.prn", "FontNameAlreadyExists"},
      {"numbered-ohp-1.prn", "FontNameAlreadyExists"},
      {"numbered-ohp-2.prn", "the printer substitutes Courier"},
  };
  for (auto [file, reason] : refused) {
    auto c = test::checkBytes(slurp(std::string(KQXL_SOURCE_DIR "/tests/data/rejected/") + file));
    bool found = false;
    for (auto& p : c.problems()) found = found || p.message.find(reason) != std::string::npos;
    EXPECT_TRUE(found) << file << ": " << firstProblem(c);
  }
}

TEST(Checker, PiecesOfAnySizeReadTheSame) {
  std::string bytes = slurp(KQXL_SOURCE_DIR "/examples/mixed.pxl");
  auto whole = test::checkBytes(bytes);
  for (size_t piece : {1, 2, 3, 7, 4096}) {
    auto c = test::checkBytes(bytes, piece);
    EXPECT_TRUE(c.problems().empty()) << piece << ": " << firstProblem(c);
    EXPECT_EQ(c.summary().operators, whole.summary().operators) << piece;
    ASSERT_EQ(c.pages().size(), whole.pages().size());
    for (size_t i = 0; i < c.pages().size(); ++i) {
      EXPECT_EQ(c.pages()[i].start, whole.pages()[i].start);
      EXPECT_EQ(c.pages()[i].end, whole.pages()[i].end);
    }
  }
  EXPECT_EQ(whole.pages()[1].orientation, 1);  // landscape
}

TEST(Checker, PagesRunFromTheirAttributeListToEndPage) {
  test::PxlBuilder b;
  b.begin();
  size_t start = b.bytes().size();
  b.page();
  size_t end = b.bytes().size();
  b.end();
  auto c = test::checkBytes(b.bytes());
  ASSERT_EQ(c.pages().size(), 1u);
  EXPECT_EQ(c.pages()[0].start, start);
  EXPECT_EQ(c.pages()[0].end, end);
}

TEST(Checker, StreamCutShortIsReportedWhereItEnds) {
  test::PxlBuilder b;
  b.begin().page().end();
  std::string whole = b.bytes();
  // Inside a token: the box value of the rectangle loses its last byte.
  size_t boxEnd = whole.find('\xA0');  // Rectangle follows its BoundingBox and attribute id
  std::string cut = whole.substr(0, boxEnd - 3);
  auto c = test::checkBytes(cut);
  EXPECT_EQ(firstProblem(c), std::to_string(boxEnd - 11) + ": the stream ends inside a token");
  // Between tokens, inside the page.
  cut = whole.substr(0, boxEnd + 1);
  c = test::checkBytes(cut);
  EXPECT_EQ(firstProblem(c), std::to_string(cut.size()) + ": the stream ends inside a page");
}

TEST(Checker, NestingAndGraphicsStateErrorsCarryTheOperatorsOffset) {
  test::PxlBuilder b;
  b.begin();
  b.writer().ubyte(0, attr::Orientation).op(op::BeginPage);
  size_t nested = b.bytes().size() + 12;  // after three 4-byte attributes
  b.page();
  b.writer().op(op::EndPage);
  b.end();
  auto c = test::checkBytes(b.bytes());
  EXPECT_EQ(firstProblem(c), std::to_string(nested) + ": BeginPage inside a page: pages do not nest");

  test::PxlBuilder p;
  p.begin();
  size_t pop = 0;
  p.page([&](pclxl::Writer& w) {
    w.op(op::PushGS).op(op::PopGS);
    pop = w.out().size();
    w.op(op::PopGS);
  });
  p.end();
  c = test::checkBytes(p.bytes());
  EXPECT_EQ(firstProblem(c), std::to_string(pop) + ": PopGS without a matching PushGS");

  test::PxlBuilder open;
  open.begin().page([](pclxl::Writer& w) { w.op(op::PushGS); }).end();
  c = test::checkBytes(open.bytes());
  EXPECT_TRUE(c.problems().empty());
  ASSERT_EQ(c.warnings().size(), 1u);
  EXPECT_EQ(c.warnings()[0].message, "1 graphics states still pushed at EndPage");
}

TEST(Checker, ReadStreamLengthsAndNestedStreams) {
  std::string content = pclxl::headerLine("inner");
  pclxl::Writer(content).op(op::PushGS).op(op::PopGS);
  auto stream = [&](uint32_t claimed, const std::string& data) {
    test::PxlBuilder b;
    b.begin();
    b.writer().ubyteArray("form", attr::StreamName).op(op::BeginStream);
    b.writer().uint32(claimed, attr::StreamDataLength).op(op::ReadStream).data(data);
    b.writer().op(op::EndStream);
    b.page([](pclxl::Writer& w) { w.ubyteArray("form", attr::StreamName).op(op::ExecStream); }).end();
    return b.bytes();
  };
  auto good = test::checkBytes(stream(static_cast<uint32_t>(content.size()), content));
  EXPECT_TRUE(good.problems().empty()) << firstProblem(good);

  std::string lying = stream(static_cast<uint32_t>(content.size() + 1), content);
  auto c = test::checkBytes(lying);
  size_t data = lying.find('\xFB');
  EXPECT_EQ(firstProblem(c), std::to_string(data) + ": ReadStream's data is " + std::to_string(content.size()) +
                                 " bytes, its StreamDataLength " + std::to_string(content.size() + 1) +
                                 " (MissingData)");

  // A broken byte inside the embedded stream is reported at its own offset.
  std::string broken = content;
  broken.back() = '\x2F';
  std::string outer = stream(static_cast<uint32_t>(broken.size()), broken);
  c = test::checkBytes(outer);
  EXPECT_EQ(firstProblem(c), std::to_string(outer.find(broken) + broken.size() - 1) +
                                 ": in the stream: unexpected byte 0x2F where a token belongs");

  test::PxlBuilder undefined;
  undefined.begin().page([](pclxl::Writer& w) { w.ubyteArray("none", attr::StreamName).op(op::ExecStream); }).end();
  EXPECT_NE(firstProblem(test::checkBytes(undefined.bytes())).find("ExecStream of a stream not defined"),
            std::string::npos);
}

TEST(Checker, EndingInsideEmbeddedData) {
  test::PxlBuilder b;
  b.begin().page([](pclxl::Writer& w) {
    w.op(op::PassThrough).data(std::string(300, '\x55'));  // any operator that reads data will do
  });
  std::string cut = b.bytes().substr(0, b.bytes().size() - 101);  // EndPage and 100 data bytes
  auto c = test::checkBytes(cut);
  EXPECT_EQ(firstProblem(c), std::to_string(cut.size()) + ": the stream ends inside embedded data, 100 bytes short");
}

TEST(Checker, AttributeListsTypesAndUnknownBytes) {
  test::PxlBuilder b;
  b.begin();
  size_t orientation = b.bytes().size();
  b.writer().uint16(0, attr::Orientation).op(op::BeginPage).op(op::EndPage);
  b.end();
  size_t leftover = b.bytes().size();
  b.writer().ubyte(1, attr::PageCopies);
  auto c = test::checkBytes(b.bytes());
  ASSERT_EQ(c.problems().size(), 2u);
  EXPECT_EQ(c.problems()[0].offset, orientation);
  EXPECT_EQ(c.problems()[0].message, "Orientation does not take a uint16 value");
  EXPECT_EQ(c.problems()[1].offset, leftover);
  EXPECT_EQ(c.problems()[1].message, "an attribute list left over at the end of the stream");

  std::string bad = test::PxlBuilder().begin().bytes() + "\x99\x42";
  bad[bad.size() - 2] = '\x3F';
  EXPECT_EQ(firstProblem(test::checkBytes(bad)),
            std::to_string(bad.size() - 2) + ": unexpected byte 0x3F where a token belongs");
  EXPECT_EQ(firstProblem(test::checkBytes("' HP-PCL XL;2;0\n")),
            "0: ASCII binding (') is not supported; only binary bindings");
}

// Inputs the fuzzer once found troublesome are read to the end, whatever
// they hold.
TEST(Checker, SurvivesFuzzFindings) {
  for (auto& e : std::filesystem::directory_iterator(KQXL_SOURCE_DIR "/tests/data/fuzz")) {
    auto c = test::checkBytes(slurp(e.path()), 7);
    EXPECT_FALSE(c.problems().empty()) << e.path();
  }
}

TEST(Checker, JobsAfterJobsAndTheLessCommonTokens) {
  // Two jobs in one stream, each with its PJL and UEL, as a spooler joins them.
  test::PxlBuilder first, second;
  first.begin().page().end();
  second.begin().page().page().end();
  std::string uel = "\x1B%-12345X";
  std::string joined = uel + "@PJL ENTER LANGUAGE = PCLXL\r\n" + first.bytes() + uel + "@PJL EOJ\n" + uel +
                       "@PJL ENTER LANGUAGE = PCLXL\n" + second.bytes() + uel;
  auto c = test::checkBytes(joined, 5);
  EXPECT_TRUE(c.problems().empty()) << firstProblem(c);
  EXPECT_EQ(c.summary().sessions, 2u);
  EXPECT_EQ(c.pages().size(), 3u);

  // A two-byte attribute id, white space between tokens.
  std::string bytes = pclxl::headerLine("x");
  bytes += std::string("\xC0\x00 \xF9\x86\x00\xD1\x58\x02\x58\x02\xF8\x89\t\x41\x42", 16);
  auto d = test::checkBytes(bytes);
  EXPECT_TRUE(d.problems().empty()) << firstProblem(d);
}

TEST(Checker, ValuesAndDataOutOfPlace) {
  std::string bytes = pclxl::headerLine("x");
  pclxl::Writer w(bytes);
  w.xy(DataType::UInt16, 1, 1, attr::UnitsPerMeasure).ubyte(0, attr::Measure).op(op::BeginSession);
  size_t lone = bytes.size();
  bytes += "\xC0\x05";  // a value with no attribute id
  w.op(op::CloseDataSource).ubyte(0, attr::SourceType);
  size_t data = bytes.size();
  w.data("xy");  // embedded data after an attribute, not after an operator
  auto c = test::checkBytes(bytes);
  ASSERT_GE(c.problems().size(), 3u);
  EXPECT_EQ(c.problems()[0].offset, lone);
  EXPECT_EQ(c.problems()[0].message, "a value without its attribute id before CloseDataSource");
  EXPECT_EQ(c.problems()[1].message, "CloseDataSource without an open data source (DataSourceNotOpen)");
  EXPECT_EQ(c.problems()[2].offset, data);
  EXPECT_EQ(c.problems()[2].message, "embedded data that follows no operator");

  test::PxlBuilder b;
  b.begin().page([](pclxl::Writer& w) { w.op(op::PushGS).data("zz").op(op::PopGS); }).end();
  EXPECT_NE(firstProblem(test::checkBytes(b.bytes())).find("PushGS takes no embedded data"), std::string::npos);
}

TEST(Checker, StreamsNestedTooDeeplyAreReportedNotFollowed) {
  // A stream whose content defines a stream whose content defines one, ...
  std::string inner = pclxl::headerLine("leaf");
  for (int level = 0; level < 10; ++level) {
    std::string outer = pclxl::headerLine("level");
    pclxl::Writer w(outer);
    w.ubyteArray("s", attr::StreamName).op(op::BeginStream);
    w.uint32(static_cast<uint32_t>(inner.size()), attr::StreamDataLength).op(op::ReadStream).data(inner);
    w.op(op::EndStream);
    inner = outer;
  }
  test::PxlBuilder b;
  b.begin();
  b.writer().ubyteArray("top", attr::StreamName).op(op::BeginStream);
  b.writer().uint32(static_cast<uint32_t>(inner.size()), attr::StreamDataLength).op(op::ReadStream).data(inner);
  b.writer().op(op::EndStream);
  b.end();
  auto c = test::checkBytes(b.bytes());
  EXPECT_NE(firstProblem(c).find("streams nested more than 8 deep"), std::string::npos) << firstProblem(c);
}

TEST(Tokenizer, BigEndianBindingReadsValuesThatWay) {
  std::string bytes = "( HP-PCL XL;2;0;\n";
  bytes += std::string("\xC1\x01\x02\xF8\x31\xC2\x00\x00\x01\x00\xF8\x8C", 12);
  struct Collect : pclxl::TokenSink {
    std::vector<double> values;
    void token(const pclxl::Token& t) override {
      if (t.kind == pclxl::TokenKind::Value) values.push_back(t.value.number());
    }
  } sink;
  pclxl::Tokenizer t(sink);
  ASSERT_TRUE(t.feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  EXPECT_TRUE(t.finish());
  EXPECT_TRUE(t.bigEndian());
  EXPECT_EQ(sink.values, (std::vector<double>{0x0102, 0x100}));
}

TEST(Writer, WritesWhatTheReaderReadsBack) {
  std::string bytes = pclxl::headerLine("round trip");
  pclxl::Writer w(bytes);
  w.ubyte(7, attr::PageCopies).uint16(600, attr::CharSize).sint16(-45, attr::PageAngle).real32(1.5f, attr::PenWidth);
  w.xy(DataType::SInt16, -3, 4, attr::Point).box(DataType::UInt16, 1, 2, 3, 4, attr::BoundingBox);
  w.array(DataType::UInt16, {1, 2, 300}, attr::TextData).op(op::SetCursor);
  w.ubyteArray(std::string(300, 'a'), attr::FontName).op(op::SetFont);
  struct Collect : pclxl::TokenSink {
    std::vector<pclxl::Token> values;
    void token(const pclxl::Token& t) override {
      if (t.kind == pclxl::TokenKind::Value) values.push_back(t);
    }
  } sink;
  pclxl::Tokenizer t(sink);
  ASSERT_TRUE(t.feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  ASSERT_EQ(sink.values.size(), 8u);
  EXPECT_EQ(sink.values[2].value.number(), -45);
  EXPECT_EQ(sink.values[3].value.number(), 1.5);
  EXPECT_EQ(sink.values[4].value.items, (std::vector<double>{-3, 4}));
  EXPECT_EQ(sink.values[6].value.items, (std::vector<double>{1, 2, 300}));
  EXPECT_EQ(sink.values[7].value.items.size(), 300u);  // a uint16 array length
  // A value read and written again is the same bytes.
  for (auto& v : sink.values) {
    std::string again;
    pclxl::Writer(again).value(v.value);
    EXPECT_EQ(again, bytes.substr(v.offset, v.end - v.offset));
  }
}

}  // namespace
