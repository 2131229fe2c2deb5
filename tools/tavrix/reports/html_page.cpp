#include "reports/html_page.h"

#include "files/output_files.h"

namespace tavrix_tool {

namespace {

const char* const kStyle =
    "body{font-family:sans-serif;margin:2em;max-width:1100px}table{border-collapse:collapse;margin:1em 0}"
    "td,th{border:1px solid #bbb;padding:3px 8px;text-align:right}th{background:#eee}"
    "td:first-child,th:first-child{text-align:left}"
    "figure{display:inline-block;margin:0.5em}img{max-width:520px;border:1px solid #888}"
    "figure.wide img{max-width:1044px}.warning{color:#b00}";

std::string ClassAttribute(bool warning) { return warning ? " class=\"warning\"" : ""; }

}  // namespace

std::string EscapeHtml(const std::string& text) {
  std::string out;
  for (char ch : text) {
    if (ch == '<') out += "&lt;";
    else if (ch == '>') out += "&gt;";
    else if (ch == '&') out += "&amp;";
    else if (ch == '"') out += "&quot;";
    else out += ch;
  }
  return out;
}

HtmlPage::HtmlPage(const std::string& title) : title_(title) {
  body_ << "<h1>" << EscapeHtml(title) << "</h1>\n";
}

void HtmlPage::Heading(const std::string& text, bool warning) {
  body_ << "<h2" << ClassAttribute(warning) << ">" << EscapeHtml(text) << "</h2>\n";
}

void HtmlPage::Paragraph(const std::string& text) { body_ << "<p>" << EscapeHtml(text) << "</p>\n"; }

void HtmlPage::List(const std::vector<std::string>& items, bool warning) {
  body_ << "<ul" << ClassAttribute(warning) << ">\n";
  for (const std::string& item : items) body_ << "<li>" << EscapeHtml(item) << "</li>\n";
  body_ << "</ul>\n";
}

void HtmlPage::Table(const Row& header, const std::vector<Row>& rows) {
  body_ << "<table>\n<tr>";
  for (const std::string& cell : header) body_ << "<th>" << EscapeHtml(cell) << "</th>";
  body_ << "</tr>\n";
  for (const Row& row : rows) {
    body_ << "<tr>";
    for (const std::string& cell : row) body_ << "<td>" << EscapeHtml(cell) << "</td>";
    body_ << "</tr>\n";
  }
  body_ << "</table>\n";
}

void HtmlPage::Figure(const std::string& file, const std::string& caption, bool wide) {
  body_ << "<figure" << (wide ? " class=\"wide\"" : "") << "><img src=\"" << EscapeHtml(file) << "\" alt=\""
        << EscapeHtml(caption) << "\"><figcaption>" << EscapeHtml(caption) << "</figcaption></figure>\n";
}

std::string HtmlPage::Html() const {
  return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" + EscapeHtml(title_) +
         "</title>\n<style>" + kStyle + "</style></head><body>\n" + body_.str() + "</body></html>\n";
}

void HtmlPage::Write(const std::string& path) const {
  const std::string html = Html();
  WriteBytesAtomically(path, true, html.data(), html.size());
}

}  // namespace tavrix_tool
