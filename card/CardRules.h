// OS-free rules of the card routes: which names from the handheld may become PC paths,
// the listing and reply formats, the slice size and the small text helpers. Nothing here
// includes <windows.h>, so it builds natively for sanitizers and fuzzing.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "names/CodePage.h"

namespace card {

// The names below are in a code page (cp: the ANSI code page's description for names the
// conduit handles) and are read character by character: the trail byte of a two-byte
// character is never taken for "\", "|" or a letter.

// A relative card name ("/"-separated, beginning with "/", a directory ending in "/")
// that stays inside the location's PC folder once "/" becomes "\": no empty, "." or ".."
// segment, no character Windows treats specially in a path (\ : * ? " < > | and control
// characters), and no segment ending in "." or " " (Windows drops those, so two card names
// would meet in one PC file). A device name (CON, aux.txt, ...) is a name like any other
// here: the PC side reaches its file through the "\\?\" form.
bool isSafeRelativeName(const names::CodePage& cp, const std::string& name);

// One path component under the same rules that also is no device name: a card label that
// becomes a PC folder name (and a settings key) and the last folder of the archive path.
bool isSafePathComponent(const names::CodePage& cp, const std::string& component);

// A card's label made into a folder name (and a settings key) that Windows keeps as it is:
// characters a path cannot hold become "_" (as does "=", which would end a settings key),
// leading blanks and trailing dots and blanks go, and a reserved device name gets "_"
// after its stem ("CON" gives "CON_", "aux.x" gives "aux_.x"). A usable label comes back
// unchanged; empty when nothing usable remains ("", ".", "...").
std::string folderNameForLabel(const names::CodePage& cp, const std::string& label);

// True when key is base followed by "_2", "_3", ... exactly as the keys given to cards
// that share a label are made (compared with case; no leading zero).
bool numberedFrom(const std::string& key, const std::string& base);

// The settings key under which the location key of a label is recorded: the label's bytes
// in lower-case hexadecimal (settings keys are compared without regard to case, labels are
// not), and for the n-th card of one HotSync with that very label (n > 1) "-" + n.
std::string labelRecordKey(const std::string& label, unsigned occurrence);

// A name made printable for a log line (control characters become "?").
std::string printableName(const std::string& name);

// One entry line of a listing or text reply: name, TAB, time, attributes, size.
struct ListingLine {
    std::string name;
    uint32_t time = 0;
    uint32_t attributes = 0;
    uint32_t size = 0;
};
// False when the line is to be ignored: no TAB, a name of 512 characters or more, or a
// number that cannot be read. Every line that parses describes an entry, an empty file
// as much as any other.
bool parseListingLine(const std::string& line, ListingLine& out);

// Splits text into LF-ended lines; a CR right before the LF is dropped (text mode) and
// whatever follows the last LF is ignored.
std::vector<std::string> splitLines(const std::string& text);

// The listing of all cards that the companion leaves: each card's section is its header
// line "<" + name + ">" followed by its entry lines. This is the one reading of that
// format, for the driver (which cards there are) and for each card (its entries).
struct ListingSection {
    std::string cardName;
    std::vector<std::string> lines;  // up to the next header or the end, CR dropped
};
// A header is a whole line of at least two characters that begins with "<" and ends with
// ">" (the empty name "<>" included); every other line belongs to the section before it,
// lines before the first header to none. The last line counts without its LF. A header
// with no lines after it is a card with no files, never a failed listing.
std::vector<ListingSection> parseCardListing(const std::string& text);
// The first section of cardName (compared exactly), or null when the listing has none.
const ListingSection* findListingSection(const std::vector<ListingSection>& listing,
                                         const std::string& cardName);

// The slice size that follows from the handheld's figure: 90 % of it in whole 1024-byte
// units, at least 1024; a figure that is not below current leaves current.
uint32_t sliceSizeFromFigure(int32_t figure, uint32_t current);

// The part after the last "/" (the whole name without one).
std::string baseNameOf(const std::string& name);
// The part up to and including the last "/" (empty without one).
std::string folderPartOf(const std::string& name);
// One trailing "/" removed.
std::string withoutTrailingSlash(const std::string& name);

// Card name -> PC path under pcDirectory (which has no trailing "\"): one trailing "/"
// dropped, "/" made "\", appended to pcDirectory. ("/" is no trail byte in any code page
// Windows has, so this needs none.)
std::string cardPcPath(const std::string& pcDirectory, const std::string& name);
// The inverse: a PC path below pcDirectory -> "/DCIM/a.jpg" ("\" made "/"; a folder's path
// given with a trailing "\" gives a name ending in "/"); empty for a path no longer than
// pcDirectory.
std::string cardRelativeName(const names::CodePage& cp, const std::string& pcDirectory, const std::string& pcPath);

}  // namespace card
