// index.html: one page that opens in any browser without a server. The
// printed pages are in it as PNG data; a click shows one large.
#include <algorithm>
#include <sstream>

#include <openssl/evp.h>

#include "page.h"

namespace report {

namespace {

std::string escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string count(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string base64(const std::string& bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3), '\0');
  int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                          reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
  out.resize(static_cast<size_t>(n));
  return out;
}

const char kHead[] = R"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>kqxl-report</title>
<style>
body{font:14px/1.4 sans-serif;margin:1em 2em;color:#222}
h1{font-size:1.5em}h2{border-bottom:2px solid #446;margin-top:2em}h3{margin:1.2em 0 .3em}
table{border-collapse:collapse;margin:.3em 0}td,th{border:1px solid #ccc;padding:2px 8px;text-align:left}
.failed{color:#a00;font-weight:bold}.ok{color:#070}.note{color:#666}
.pages{display:flex;flex-wrap:wrap;gap:10px;margin:.5em 0}
figure{margin:0;width:124px;text-align:center;font-size:11px}
figure img{width:120px;border:1px solid #888;background:#fff;cursor:zoom-in}
figure.error img{border:2px solid #a00}
figure.sheet{width:160px}figure.sheet div{height:124px;display:flex;align-items:center;justify-content:center}
figure.sheet img{transform:rotate(90deg)}
#large{display:none;position:fixed;inset:0;background:rgba(0,0,0,.8);align-items:center;justify-content:center}
#large img{max-width:95vw;max-height:95vh;background:#fff}
</style></head><body>
<div id="large" onclick="this.style.display='none'"><img alt="page"></div>
<script>
function show(img){var l=document.getElementById('large');l.firstChild.src=img.src;l.style.display='flex';}
// How many printed pages the page holds and how many the browser could show.
window.addEventListener('load',function(){var p=[].slice.call(document.querySelectorAll('figure img'));
document.body.dataset.pages=p.length;
document.body.dataset.shown=p.filter(function(i){return i.complete&&i.naturalWidth>0;}).length;});
</script>
)";

void settingsTable(std::ostream& o, const Job& j) {
  if (j.settings.empty()) return void(o << "<p class=note>Settings: the defaults.</p>\n");
  o << "<table class=settings><tr><th>setting</th><th>value</th></tr>\n";
  for (auto& [field, value] : j.settings)
    o << "<tr><td>" << escape(field) << "</td><td>" << escape(value) << "</td></tr>\n";
  o << "</table>\n";
}

// Each hook once, in the order first called, with how often each result
// came; a failed call stands out.
void hookLine(std::ostream& o, const Job& j) {
  std::vector<std::pair<std::string, std::vector<std::pair<std::string, int>>>> hooks;
  for (auto& call : j.hooks) {
    const std::string &hook = call.first, &result = call.second;
    auto h = std::find_if(hooks.begin(), hooks.end(), [&](auto& e) { return e.first == hook; });
    if (h == hooks.end()) h = hooks.insert(hooks.end(), {hook, {}});
    auto r = std::find_if(h->second.begin(), h->second.end(), [&](auto& e) { return e.first == result; });
    if (r == h->second.end()) h->second.push_back({result, 1});
    else ++r->second;
  }
  o << "<p>Hooks: ";
  for (size_t i = 0; i < hooks.size(); ++i) {
    o << (i ? "; " : "") << escape(hooks[i].first);
    for (auto& [result, count] : hooks[i].second) {
      bool failed = result == "0" || result == "null";
      o << " <span class=" << (failed ? "failed" : "note") << ">";
      if (count > 1) o << count << "&times; ";
      o << "&rarr; " << escape(result.empty() ? "done" : result) << "</span>";
    }
  }
  o << "</p>\n";
}

void boxesTable(std::ostream& o, const Job& j) {
  if (j.boxes.empty()) return;
  o << "<table class=boxes><tr><th>message box</th><th>caption</th><th>answered</th></tr>\n";
  for (auto& b : j.boxes)
    o << "<tr><td>" << escape(b.text) << "</td><td>" << escape(b.caption) << "</td><td>" << escape(b.answer)
      << "</td></tr>\n";
  o << "</table>\n";
}

void traces(std::ostream& o, const Job& j, const char* where = "") {
  if (j.traces.empty()) return;
  o << "<details><summary>" << count(j.traces.size(), "trace", "traces") << where << "</summary><pre>";
  for (auto& t : j.traces) o << escape(t) << (t.empty() || t.back() != '\n' ? "\n" : "");
  o << "</pre></details>\n";
}

void pages(std::ostream& o, const PrintedDocument& d) {
  if (d.images.empty()) return;
  o << "<div class=pages>\n";
  for (size_t k = 0; k < d.images.size(); ++k) {
    bool error = !d.printed && k + 1 == d.images.size();
    std::string label = k < d.labels.size() ? d.labels[k] : "printed page " + std::to_string(k + 1);
    if (error) label = "the printer's error page";
    // A booklet side is a landscape sheet, which the interpreter prints
    // turned on its portrait page: shown upright.
    bool sheet = !error && label.rfind("booklet side ", 0) == 0;
    o << "<figure"
      << (error   ? " class=error"
          : sheet ? " class=sheet"
                  : "")
      << ">" << (sheet ? "<div>" : "") << "<img onclick=\"show(this)\" alt=\"" << escape(label)
      << "\" src=\"data:image/png;base64," << base64(d.images[k]) << "\">" << (sheet ? "</div>" : "") << "<figcaption>"
      << k + 1 << ": " << escape(label) << "</figcaption></figure>\n";
  }
  o << "</div>\n";
}

void document(std::ostream& o, const PrintedDocument& d, const Page& page) {
  const PortDocument& p = *d.port;
  o << "<div class=document><h4>Document " << p.number << " &ldquo;" << escape(p.name) << "&rdquo;: " << p.bytes
    << " bytes";
  if (p.bytes == 0) o << ", empty: nothing printed";
  else if (d.readable) o << ", " << d.pages << (d.pages == 1 ? " page" : " pages");
  if (!p.file.empty()) o << " (" << escape(p.file) << ")";
  o << "</h4>\n";
  if (p.cancelled) o << "<p class=note>Its job was cancelled: it holds what reached the port before.</p>\n";
  for (auto& problem : d.problems) o << "<p class=failed>Checker: " << escape(problem) << "</p>\n";
  if (!d.verdict.empty())
    o << "<p class=" << (d.printed ? "ok" : "failed") << ">Printer: " << escape(d.verdict) << "</p>\n";
  else if (page.interpreter.empty() && p.bytes > 0)
    o << "<p class=note>Not printed: " << escape(page.noPages) << "</p>\n";
  pages(o, d);
  o << "</div>\n";
}

void job(std::ostream& o, const Job& j, size_t number, const std::vector<PrintedDocument>& docs, const Page& page) {
  if (j.hooks.empty() && j.boxes.empty() && j.documents.empty()) return traces(o, j, " before any job");
  o << "<div class=job><h3>Job " << number;
  if (!j.document.empty()) o << ": " << escape(j.document);
  if (j.pages > 0) o << " <span class=note>(" << j.pages << " pages spooled)</span>";
  o << "</h3>\n";
  settingsTable(o, j);
  hookLine(o, j);
  boxesTable(o, j);
  traces(o, j);
  if (docs.empty()) o << "<p class=note>No port document.</p>\n";
  for (auto& d : docs) document(o, d, page);
  o << "</div>\n";
}

void script(std::ostream& o, const ScriptReport& s, const Page& page) {
  o << "<section class=script id=\"" << escape(s.name) << "\"><h2>" << escape(s.name) << "</h2>\n";
  size_t number = 0;
  for (size_t i = 0; i < s.log.jobs.size(); ++i) {
    const Job& j = s.log.jobs[i];
    if (!j.hooks.empty()) ++number;
    job(o, j, number, s.documents[i], page);
  }
  for (auto& leak : s.log.leaks) o << "<p class=failed>Left behind: " << escape(leak) << "</p>\n";
  if (!s.log.unreadLines.empty())
    o << "<p class=failed>" << count(s.log.unreadLines.size(), "line", "lines")
      << " of the event log could not be read.</p>\n";
  o << "</section>\n";
}

}  // namespace

std::string html(const Page& page) {
  std::ostringstream o;
  o << kHead << "<h1>What the printer would print</h1>\n<p class=note>";
  if (!page.interpreter.empty()) o << "Pages printed on the PCL XL interpreter of " << escape(page.interpreter) << ".";
  else o << "No pages shown: " << escape(page.noPages) << ".";
  o << "</p>\n";
  for (auto& s : page.scripts) script(o, s, page);
  o << "</body></html>\n";
  return o.str();
}

}  // namespace report
