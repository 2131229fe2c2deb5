// The one builder of a report's HTML page: a title, headings, tables,
// paragraphs, lists and figures (PNG files beside the page), every text
// escaped, in one style. Written under a temporary name, then moved into place.
#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace tavrix_tool {

std::string EscapeHtml(const std::string& text);

class HtmlPage {
 public:
  explicit HtmlPage(const std::string& title);

  // `warning` shows the heading and what follows it in red.
  void Heading(const std::string& text, bool warning = false);
  void Paragraph(const std::string& text);
  void List(const std::vector<std::string>& items, bool warning = false);
  using Row = std::vector<std::string>;
  void Table(const Row& header, const std::vector<Row>& rows);
  // A picture with its caption; `wide` ones take the page's whole width.
  void Figure(const std::string& file, const std::string& caption, bool wide = false);

  std::string Html() const;
  // Failure naming the file when it cannot be written.
  void Write(const std::string& path) const;

 private:
  std::ostringstream body_;
  std::string title_;
};

}  // namespace tavrix_tool
