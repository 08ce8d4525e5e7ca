// Small helpers the whole game uses: the word table, frame animations, dates, numbers, GUIDs, patterns, Base64.
#pragma once
#include <string>
#include <vector>

namespace kite {
class Animate;
}

// The display text under a key of the word table "Xml/ChineseWords.xml"; "" for an unknown key.
std::string lookupWord(const std::string& key);
// Reads the word table again (it is read once, on first lookup).
void reloadWordTable();

// An animate action over the frames "<name>0.png", "<name>1.png"... of the sheet
// "<prefix><name>.plist"; null when the sheet has no such frame.
kite::Animate* createFrameAnimation(const std::string& name, const std::string& prefix, float delay);
kite::Animate* createFrameAnimation(const std::string& name, const std::string& prefix);

// Today's local date as year, month and day without leading zeros (5 March 2015: "201535").
std::string dateString();
// The leading decimal number of the text; 0 when there is none.
int stringToInt(const std::string& text);
std::string intToString(int value);
// Appends the non-empty pieces of the text between separators.
void splitString(const std::string& text, const std::string& separator, std::vector<std::string>& pieces);
// A random identifier "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", seeded from the clock.
std::string makeGuid();
// Whether the POSIX extended regular expression matches somewhere in the text.
bool regexMatch(const std::string& pattern, const std::string& text);

std::string base64Encode(const std::string& bytes);
// Decodes up to the first "=" or the first character outside the alphabet;
// a last group without fill characters is decoded too.
std::string base64Decode(const std::string& text);
