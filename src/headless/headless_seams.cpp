#include "headless/headless_seams.h"

#include "common/textconv.h"

namespace fenwyd::headless {

HeadlessDialogs::HeadlessDialogs(std::function<void(const std::string&)> say,
                                 std::function<std::string()> modelLetter)
    : say_(std::move(say)), modelLetter_(std::move(modelLetter)) {}

void HeadlessDialogs::message(const std::string& text, MsgIcon) { say_(SingleLine(text)); }

bool HeadlessDialogs::askYesNo(const std::string& text, MsgIcon) {
    const std::string letter = modelLetter_ ? modelLetter_() : std::string();
    const bool is8203 = letter == "V" || letter == "v";
    sayOnce("warning: \"" + SingleLine(text) + "\": answered " + (is8203 ? "No" : "Yes") +
            " for the model letter \"" + PrintableText(letter) + "\" in the probe's reply");
    return !is8203;
}

void HeadlessDialogs::sayOnce(const std::string& line) {
    if (said_.insert(line).second) say_(line);
}

}  // namespace fenwyd::headless
