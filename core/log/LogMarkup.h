// LogMarkup: the HTML pieces the logger writes in its HTML colour mode, shared by its text side
// (spans, blocks, line ends) and its log file side (the document's opening and end).
#pragma once

namespace logMarkup {

constexpr const char* openBlockStart = "\n<div style=\"color: ";
constexpr const char* openSpanStart = "<span style=\"color: ";
constexpr const char* openEnd = "\">";
constexpr const char* closeBlock = "\n</div>\n";
constexpr const char* closeSpan = "</span>";
constexpr const char* closeSpanAtEnd = "\n</span>";
constexpr const char* lineEnd = "<br/>";
constexpr const char* documentStart = "<html>\n<body>\n";
constexpr const char* documentEnd = "\n</body>\n</html>\n";

} // namespace logMarkup
