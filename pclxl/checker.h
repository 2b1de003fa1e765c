// Reads a PCL XL stream as a printer does: gathers attribute lists into
// commands, follows sessions, pages, graphics states and stream
// definitions, checks the embedded stream of every ReadStream as a stream
// of its own, and reports every problem with its offset.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "pclxl/tokenizer.h"

namespace pclxl {

struct Attribute {
  uint16_t id = 0;
  Value value;
  uint64_t offset = 0;  // of the value
  uint64_t end = 0;     // after the attribute id
};

// An operator with the attribute list it consumes.
struct Command {
  uint8_t op = 0;
  uint64_t start = 0;     // the first attribute's offset, or the operator's
  uint64_t opOffset = 0;  // the operator byte
  uint64_t end = 0;       // after the operator byte
  std::vector<Attribute> attributes;
  int depth = 0;  // 0 for the stream itself, 1 inside a ReadStream's stream, ...

  const Attribute* find(uint16_t id) const;  // the last one wins, as in a printer
};

struct PageRange {
  uint64_t start = 0;   // the BeginPage command's start
  uint64_t end = 0;     // after EndPage
  int orientation = 0;  // the BeginPage Orientation (0 portrait, 1 landscape, ...)
};

struct Summary {
  uint64_t sessions = 0, pages = 0, operators = 0, bytes = 0;
};

class Checker : public TokenSink {
 public:
  explicit Checker(int depth = 0);
  ~Checker() override;
  Checker(Checker&&) = default;
  Checker& operator=(Checker&&) = default;

  // What a viewer may want to see, as it is read.
  std::function<void(const Command&)> onCommand;
  // Embedded data: `offset` is its token's, the 0xFB or 0xFA byte; the
  // `length` bytes follow the length, 2 or 5 bytes on (dataStart).
  std::function<void(uint64_t offset, uint32_t length, int depth)> onData;
  std::function<void(const Token&, int depth)> onText;  // UEL, PJL and stream headers

  void token(const Token& t) override;
  void data(const uint8_t* bytes, size_t size, uint64_t offset) override;
  void dataEnd() override;

  // The end of the stream at `end`; `broken` is the tokenizer's error, if any.
  void finish(uint64_t end, const Problem* broken);

  const std::vector<Problem>& problems() const { return problems_; }
  const std::vector<Problem>& warnings() const { return warnings_; }
  const Summary& summary() const { return summary_; }
  const std::vector<PageRange>& pages() const { return pages_; }

 private:
  void command(const Token& op);
  void recycle(std::vector<Attribute>& attributes);
  std::vector<double> takeSpareItems();
  void problem(uint64_t at, std::string message);
  void checkAttributes(const Command& c);
  void followStructure(const Command& c);
  // What a command does to the session's fonts: applied at once in the
  // stream itself, kept with a stream's definition and applied where the
  // stream is played.
  struct FontEffect {
    uint8_t op = 0;            // BeginFontHeader, BeginChar, RemoveFont, SetFont, Text, TextPath, or ExecStream
    std::vector<double> name;  // the font's, or the stream's for ExecStream
  };
  void followFonts(const Command& c);
  void applyFont(const FontEffect& e, uint64_t at, const std::string& where, int plays = 0);
  void followStreams(const Command& c);
  void followGraphicsState(const Command& c);
  void followSequences(const Command& c);
  void followImage(const Command& c);
  void followCursor(const Command& c);
  void followDataSource(const Command& c);
  // The embedded data a command asks for, checked when it comes.
  void expectData(const Command& c);
  void dataArrives(const Token& t);
  void dataMissing();
  void beginNested();
  void endNested(uint64_t at);

  int depth_;
  std::vector<Attribute> attributes_;  // the list being gathered
  Command command_;                    // the command being judged
  std::vector<std::vector<double>> spareItems_;
  bool haveValue_ = false;
  Attribute value_;
  uint64_t commandStart_ = 0;
  bool inSession_, inPage_;
  // What a printer keeps: the fonts of the session, and per page the
  // graphics states PushGS saved, the current one last.
  struct GraphicsState {
    uint8_t colorSpace = 0;  // none yet
    bool palette = false;    // the colour space came with PaletteData
    bool hasFont = false;
    std::vector<double> font;
  };
  std::vector<GraphicsState> gs_;
  std::set<std::vector<double>> fonts_;
  bool inStream_ = false;
  bool streamHasContent_ = false;                                   // the definition has had a ReadStream
  std::vector<FontEffect> fontEffects_;                             // inside a stream: what playing it does to fonts
  std::vector<FontEffect> nestedEffects_;                           // those of the stream definition just ended
  std::map<std::vector<double>, std::vector<FontEffect>> streams_;  // defined streams, by name
  std::vector<double> streamName_;
  struct ExpectedData {
    bool active = false;
    bool exact = false;    // the length is known
    bool refused = false;  // the operator takes none now
    bool rows = false;     // run-length rows of rowBytes in all
    uint64_t rowBytes = 0;
    uint64_t length = 0;
    uint64_t at = 0;  // the operator's offset
    uint8_t op = 0;
    std::string what;  // what gives the length ("its CharDataSize")
  } expected_;
  uint8_t sequence_ = 0;       // the Begin operator of an open Begin/Read/End group
  bool sequenceRead_ = false;  // the group has had its Read
  // The image or raster pattern BeginImage/BeginRastPattern opened: a row's
  // bytes before padding, and its rows.
  struct Image {
    uint64_t rowBits = 0, height = 0, next = 0;  // next: the first row not yet read
  } image_;
  // Run-length image data (CompressMode eRLECompression, TIFF PackBits), as
  // it arrives: the rows' bytes it must give, and what it gave.
  struct RunLengths {
    bool active = false;
    uint64_t needed = 0, given = 0, at = 0;
    uint64_t literal = 0;  // bytes of a literal run still to come
    bool repeat = false;   // the byte a repeat run repeats is next
    bool extra = false;    // bytes came after the rows were whole
    uint8_t op = 0;
  } rle_;
  void decodeRunLengths(const uint8_t* bytes, size_t size);
  // The first bytes of a character's data: its format and class.
  struct CharacterHeader {
    bool active = false;
    uint64_t at = 0;
    std::string bytes;
  } char_;
  bool cursor_ = false;         // the page has a current cursor
  bool dataSource_ = false;     // OpenDataSource ... CloseDataSource
  bool readingStream_ = false;  // the data now arriving is a stream's content
  uint64_t nestedFed_ = 0;
  std::vector<std::pair<uint64_t, uint64_t>> nestedMap_;  // nested offset -> outer offset, per piece
  std::unique_ptr<Checker> nested_;
  std::unique_ptr<Tokenizer> nestedTokenizer_;
  bool lastWasOperator_ = false;
  uint8_t lastOperator_ = 0;
  std::vector<Problem> problems_, warnings_;
  Summary summary_;
  std::vector<PageRange> pages_;
};

// Where embedded data begins, from its token's first byte.
inline uint64_t dataStart(uint64_t tokenOffset, uint8_t firstByte) { return tokenOffset + (firstByte == 0xFB ? 2 : 5); }

// Runs a whole stream through a tokenizer and checker, in fixed pieces.
// `read` fills a buffer and returns the bytes it put there (0 at the end).
void checkStream(Checker& checker, const std::function<size_t(uint8_t*, size_t)>& read);

}  // namespace pclxl
