#include "support/test_machine.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

namespace test {

namespace {

class MemorySink : public winsim::DocumentSink {
 public:
  explicit MemorySink(std::string* out) : out_(out) {}
  bool write(const void* data, size_t size) override {
    out_->append(static_cast<const char*>(data), size);
    return true;
  }

 private:
  std::string* out_;
};

}  // namespace

TestMachine::TestMachine() : docs_(std::make_shared<Documents>()) {
  char pattern[] = "/tmp/kqxl-test-XXXXXX";
  dir_ = mkdtemp(pattern);
  winsim::Machine::createFrom(KQXL_MACHINE_IMAGE, dir_ / "machine");
  machine_ = std::make_unique<winsim::Machine>(dir_ / "machine");
  auto docs = docs_;
  // A document's bytes are its sink's alone while it prints; the map's
  // nodes stay where they are.
  machine_->setSinkFactory([docs](int number, std::u16string_view, std::string*) {
    std::lock_guard g(docs->mu);
    return std::make_unique<MemorySink>(&docs->bytes[number]);
  });
}

TestMachine::~TestMachine() {
  // Whatever a test did, the modules hold nothing when it ends.
  EXPECT_EQ(leaksOf(*machine_), "");
  machine_.reset();
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

std::string TestMachine::document(int n) const {
  std::lock_guard g(docs_->mu);
  auto it = docs_->bytes.find(n);
  return it == docs_->bytes.end() ? std::string() : it->second;
}

std::string TestMachine::printed(int n) const {
  for (auto& d : machine_->documents())
    if (d.file.empty() && --n == 0) return document(d.number);
  return "(no such document)";
}

std::vector<std::string> TestMachine::portDocuments() const {
  std::vector<std::string> port;
  for (auto& d : machine_->documents())
    if (d.file.empty()) port.push_back(document(d.number));
  return port;
}

std::string TestMachine::slurpHost(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string TestMachine::watermarkFile(int orientation) {
  std::ifstream in(
      machine_->hostPath(std::u16string(kDriverDir) + (orientation == 1 ? u"kqpcl6.wmk" : u"kqpcl6_2.wmk")),
      std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string TestMachine::watermarkBlock(bool clip, int orientation) {
  return std::string("\x61") + (clip ? "\x69" : "") + "\xC0\xFC\xF8\x2C\x7B" + watermarkFile(orientation) + "\x60";
}

int TestMachine::documentCount() const { return static_cast<int>(machine_->documents().size()); }

void TestMachine::play(const std::string& script) {
  std::vector<jobkit::Directive> directives;
  jobkit::ScriptError error;
  ASSERT_TRUE(jobkit::parseScript(script, &directives, &error)) << "line " << error.line << ": " << error.message;
  jobkit::SimHost host(*machine_);
  jobkit::Player player(host, dir_);
  player.onHook([this](const jobkit::HookResult& h) { hooks_.push_back(h); });
  ASSERT_TRUE(player.run(directives, &error)) << "line " << error.line << ": " << error.message;
  ASSERT_EQ(player.fatal(), "");
}

void TestMachine::playRepeatedly(const std::string& script, int times) {
  std::vector<jobkit::Directive> directives;
  jobkit::ScriptError error;
  ASSERT_TRUE(jobkit::parseScript(script, &directives, &error)) << "line " << error.line << ": " << error.message;
  jobkit::SimHost host(*machine_);
  for (int i = 0; i < times; ++i) {
    jobkit::Player player(host, dir_);
    ASSERT_TRUE(player.run(directives, &error)) << "line " << error.line << ": " << error.message;
  }
}

fs::path TestMachine::hostFile(const std::string& name, const std::string& bytes) {
  fs::path p = dir_ / name;
  std::ofstream(p, std::ios::binary) << bytes;
  return p;
}

std::vector<uint8_t> settingsRecord(const jobkit::SettingsBuilder& b, std::u16string_view printer) {
  return b.build(printer);
}

std::string leaksOf(const winsim::Machine& m) {
  std::string r;
  for (auto& l : m.leaks()) r += l.kind + ": " + l.what + "\n";
  return r;
}

}  // namespace test
