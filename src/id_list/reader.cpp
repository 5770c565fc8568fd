// SPDX-License-Identifier: Apache-2.0
// Parsing an ID list file read into memory: one forward reading, from its first byte to its
// last, of tags, comments, CDATA sections, processing instructions and text decides every
// name/ID pair of the kind's root element and every refusal. Each search goes on from where
// the last of its kind stopped: the time is linear in the file's size, whatever it holds.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "admin_report.h"
#include "id_list.h"
#include "listed_twice.h"
#include "object_id.h"
#include "scanner_bytes.h"

namespace {

// tagName and tagGUID: at most 255 bytes of text and the terminating zero.
constexpr size_t TEXT_SIZE = 256;
constexpr size_t MAX_TEXT_BYTES = TEXT_SIZE - 1;
constexpr size_t MAX_GUID_TEXT = sizeof(NameGUIDList_s::guidText) - 1;
// Room for this many open elements or pairs at first; doubled whenever more are needed.
constexpr size_t FIRST_ROOM = 64;

const char COMMENT_OPEN[] = "<!--";
const char COMMENT_CLOSE[] = "-->";
const char CDATA_OPEN[] = "<![CDATA[";
const char CDATA_CLOSE[] = "]]>";
const char INSTRUCTION_OPEN[] = "<?";
const char INSTRUCTION_CLOSE[] = "?>";

// The refusals that wait until the whole file is read, in the order in which they win;
// within each, the first one met counts (an element left open is met at the root's end).
enum Refusal : int {
    SECOND_ROOT = 0,
    PAIR_ELEMENT_OPEN,
    PAIR_FAULT,
    STRAY_END_TAG,
    OUTSIDE_ROOT,
    OTHER_ELEMENT_OPEN,
    BAD_ID_TEXT,
    REFUSAL_COUNT
};

constexpr size_t FAULT_TEXT = 2 * TEXT_SIZE;

struct Fault_s {
    uint32_t line;  // 0 while none was met
    char text[FAULT_TEXT];
};

// Where the reading stands with the kind's root element: only its first start tag counts.
enum RootPlace : int { BEFORE_ROOT, IN_ROOT, AFTER_ROOT, ROOT_NOT_FOUND };

// An element whose start tag stands in the root and whose end tag has not been met. One
// whose start tag was cut short never closes: CUT_SHORT is set in its length.
struct OpenElement_s {
    const char* name;
    uint32_t length;
    uint32_t line;
};
constexpr uint32_t CUT_SHORT = 0x80000000U;

// A name or ID element's text as its content is read: the first 255 bytes, how many the
// content has without its comments and CDATA markers, whether one is a zero byte.
struct Text_s {
    char* bytes;
    uint64_t length;
    bool zeroByte;
    uint32_t line;  // of its start tag
};

// The name or ID element whose content is being read, by the element scanner's rules: a
// CDATA section is one only at the element's own level, and an end tag of its name closes
// it only when every start tag of that name inside it has been closed.
struct Inside_s {
    const char* element;  // null between them
    Text_s* text;
    const char* from;  // content not yet taken into the text
    int64_t depth;
    int64_t sameName;
    // The first ID element inside a name: the line of its start tag (0: none), how many
    // start tags of its name are open in it, and whether it closed.
    uint32_t guidLine;
    int64_t guidNesting;
    bool guidClosed;
};

// What the pairs wait for; after the first fault of a pair no more are made.
enum PairState : int { EXPECT_NAME, HAVE_NAME, PAIRS_DONE };

// A tag as the reading met it.
struct Tag_s {
    const char* open;  // its "<"
    const char* name;
    size_t length;
    char delimiter;  // the byte after the name; 0 at the end of the file
    bool empty;      // a start tag ending in "/>"
    bool cut;        // a start tag with no ">" before the next "<"
    char* next;      // where the reading goes on (a start tag's content starts there)
};

struct Reading_s {
    const ObjectKind_s* kind;
    char* end;
    const char* counted;  // line feeds before it are counted in `line`
    uint32_t line;
    const char* closer;  // the first ">" at or after the last position asked for
    bool noCloser;
    RootPlace root;
    int64_t rootNesting;
    bool otherRoot;  // a start tag of the other kind's root met outside this one
    OpenElement_s* open;
    size_t depth;
    size_t openRoom;
    const char* strayInside;  // the name or ID element that end tags are followed in
    Inside_s inside;
    PairState pairs;
    Text_s name;
    Text_s guid;
    PairNote_s* notes;
    size_t count;
    size_t noteRoom;
    // 1 + the pair whose ID element ended last, when its ID converted, until the next start
    // tag; 0: none. Every comment meant as a check in between must be its check.
    size_t awaitingCheck;
    // Memory that ran short: its message, printed where the refusal of that place would be.
    const char* memoryFault;
    Refusal memoryAt;
    Fault_s faults[REFUSAL_COUNT];
    bool quiet;  // refusals are decided, not printed
};

char* find(const char* from, const char* end, const char* text, size_t size)
{
    return static_cast<char*>(memmem(from, static_cast<size_t>(end - from), text, size));
}

// The line of `at`, which is never before any position asked for earlier.
uint32_t lineOf(Reading_s* r, const char* at)
{
    const char* feed = nullptr;
    while ((feed = static_cast<const char*>(
                memchr(r->counted, '\n', static_cast<size_t>(at - r->counted)))) != nullptr) {
        ++r->line;
        r->counted = feed + 1;
    }
    r->counted = at;
    return r->line;
}

// Notes a refusal, its text in up to four pieces, unless one of its kind was met before.
void refuse(Reading_s* r, Refusal which, uint32_t line, const char* first, const char* second,
            const char* third = "", const char* fourth = "")
{
    if (r->faults[which].line == 0) {
        r->faults[which].line = line;
        (void)snprintf(r->faults[which].text, FAULT_TEXT, "%s%s%s%s", first, second, third, fourth);
    }
}

bool named(const Tag_s& tag, const char* element)
{
    return tag.length == strlen(element) && memcmp(tag.name, element, tag.length) == 0;
}

// The kind's name or ID element that `name` (of `length` bytes) names, or null.
const char* pairElementNamed(const Reading_s* r, const char* name, size_t length)
{
    const Tag_s tag = {nullptr, name, length, '\0', false, false, nullptr};
    return named(tag, r->kind->nameElement)   ? r->kind->nameElement
           : named(tag, r->kind->guidElement) ? r->kind->guidElement
                                              : nullptr;
}

// The same for a tag, which must have ">", "/" or white space after its name.
const char* pairElementOf(const Reading_s* r, const Tag_s& tag)
{
    return endsTagName(tag.delimiter) ? pairElementNamed(r, tag.name, tag.length) : nullptr;
}

bool isRoot(const Reading_s* r, const Tag_s& tag)
{
    return endsTagName(tag.delimiter) && named(tag, r->kind->rootElement);
}

const ObjectKind_s& otherKind(const ObjectKind_s* kind)
{
    return (strcmp(kind->rootElement, POOL_KIND.rootElement) == 0) ? VOLUME_KIND : POOL_KIND;
}

// A tag name runs to the first byte that ends it or begins another tag.
char* tagNameEnd(char* from, const char* end)
{
    while (from < end && !endsTagName(*from) && *from != '<') {
        ++from;
    }
    return from;
}

// The first ">" from `from` on, remembered: the positions asked for only grow, so no byte
// is searched twice.
char* closerFrom(Reading_s* r, char* from)
{
    if (r->closer == nullptr || r->closer < from) {
        r->closer = r->noCloser ? nullptr : find(from, r->end, ">", 1);
        r->noCloser = r->closer == nullptr;
    }
    return const_cast<char*>(r->closer);
}

void takeText(Text_s* text, const char* from, const char* to)
{
    size_t count = static_cast<size_t>(to - from);
    if (count == 0) {
        return;
    }
    text->zeroByte = text->zeroByte || memchr(from, '\0', count) != nullptr;
    if (text->length < MAX_TEXT_BYTES) {
        size_t room = MAX_TEXT_BYTES - static_cast<size_t>(text->length);
        memcpy(text->bytes + text->length, from, (count < room) ? count : room);
    }
    text->length += count;
}

// The text as the pair gives it: up to a zero byte, without any white space.
void finishText(Text_s* text)
{
    text->bytes[(text->length < MAX_TEXT_BYTES) ? text->length : MAX_TEXT_BYTES] = '\0';
    size_t length = strlen(text->bytes);
    if (length > 0) {
        removeWhiteSpace(text->bytes, static_cast<int32_t>(length));
    }
}

// The first pair that is not one, or whose texts cannot be applied: "element what".
void refusePair(Reading_s* r, uint32_t line, const char* element, const char* what,
                const char* other = "")
{
    refuse(r, PAIR_FAULT, line, element, " ", what, other);
    r->pairs = PAIRS_DONE;
}

// The texts of a pair that cannot be applied as written: a zero byte would cut a text
// short, a longer content would not fit, an empty name would make the admin path name
// the whole container, a longer ID text would not fit the node.
bool refuseTexts(Reading_s* r)
{
    const Text_s* faulty = nullptr;
    const char* what = nullptr;
    if (r->name.zeroByte || r->guid.zeroByte) {
        faulty = r->name.zeroByte ? &r->name : &r->guid;
        what = "holds a zero byte";
    } else if (r->name.length > MAX_TEXT_BYTES || r->guid.length > MAX_TEXT_BYTES) {
        faulty = (r->name.length > MAX_TEXT_BYTES) ? &r->name : &r->guid;
        what = "content is longer than 255 bytes";
    } else if (r->name.bytes[0] == '\0') {
        faulty = &r->name;
        what = "is empty";
    } else if (strlen(r->guid.bytes) > MAX_GUID_TEXT) {
        faulty = &r->guid;
        what = "text is longer than 37 characters";
    } else {
        return false;
    }
    refusePair(r, faulty->line, (faulty == &r->name) ? r->kind->nameElement : r->kind->guidElement,
               what);
    return true;
}

// Memory ran short for the stack of open elements (which then keeps no more), or for a
// pair (after which no more are made).
void runShort(Reading_s* r, const char* message, Refusal where)
{
    if (r->memoryFault == nullptr) {
        r->memoryFault = message;
        r->memoryAt = where;
    }
    r->pairs = (where == PAIR_FAULT) ? PAIRS_DONE : r->pairs;
}

template <typename Item>
bool makeRoom(Item** items, size_t used, size_t* room)
{
    if (used < *room) {
        return true;
    }
    size_t larger = (*room == 0) ? FIRST_ROOM : *room * 2;
    auto* grown = static_cast<Item*>(realloc(*items, larger * sizeof(Item)));
    if (grown == nullptr) {
        return false;
    }
    *items = grown;
    *room = larger;
    return true;
}

// A whole pair: its node, and its ID text converted now, so that one that does not
// convert refuses the file before any object is changed.
void appendPair(Reading_s* r)
{
    if (!makeRoom(&r->notes, r->count, &r->noteRoom)) {
        runShort(r, "Malloc : Failed to allocate the duplicate check", PAIR_FAULT);
        return;
    }
    PairNote_s* note = &r->notes[r->count];
    *note = PairNote_s{r->name.line, r->guid.line, {}, false};
    bool converted = LB_GUIDFromString(r->guid.bytes, &note->id) == 0;
    if (!converted) {
        refuse(r, BAD_ID_TEXT, r->guid.line, r->kind->word, " \"", r->name.bytes,
               "\" has a bad ID text");
    }
    auto* node = static_cast<NameGUIDList_s*>(malloc(sizeof(NameGUIDList_s)));
    if (node == nullptr) {
        runShort(r, "Malloc : Couldn't allocate NameGUIDList_s tmp var", PAIR_FAULT);
        return;
    }
    memcpy(node->name, r->name.bytes, strlen(r->name.bytes) + 1);
    memcpy(node->guidText, r->guid.bytes, strlen(r->guid.bytes) + 1);
    node->next = nullptr;
    appendNode(node);
    // A bad ID text is refused as such: its check is not looked at.
    r->awaitingCheck = converted ? r->count + 1 : 0;
    ++r->count;
}

// A pair is a name, then its ID; an ID inside the name is not the name's.
void elementClosed(Reading_s* r, const char* element)
{
    bool isName = element == r->kind->nameElement;
    finishText(isName ? &r->name : &r->guid);
    if (r->pairs == PAIRS_DONE) {
        return;
    }
    if (isName) {
        r->pairs = HAVE_NAME;
        if (r->inside.guidLine != 0) {
            refusePair(r, r->name.line, element, "without ", r->kind->guidElement);
        }
    } else if (r->pairs == EXPECT_NAME) {
        refusePair(r, r->guid.line, element, "without ", r->kind->nameElement);
    } else {
        r->pairs = EXPECT_NAME;
        if (!refuseTexts(r)) {
            appendPair(r);
        }
    }
}

// A start tag of the name or ID element between them.
void startPairElement(Reading_s* r, const Tag_s& tag, const char* element)
{
    uint32_t line = lineOf(r, tag.open);
    bool isName = element == r->kind->nameElement;
    if (r->pairs == HAVE_NAME && isName) {
        refusePair(r, r->name.line, element, "without ", r->kind->guidElement);
    }
    Text_s* text = isName ? &r->name : &r->guid;
    *text = Text_s{text->bytes, 0, false, line};
    if (tag.empty) {
        elementClosed(r, element);
    } else {
        r->inside = Inside_s{element, text, tag.next, 0, 0, 0, 0, false};
    }
}

// The root's end tag: a name or ID element still open there never closes, and the
// innermost element left open is the one to name.
void endRoot(Reading_s* r)
{
    if (r->inside.element != nullptr && r->pairs != PAIRS_DONE) {
        if (r->inside.element == r->kind->guidElement && r->pairs == HAVE_NAME) {
            refusePair(r, r->name.line, r->kind->nameElement, "without ", r->kind->guidElement);
        } else if (r->inside.guidClosed) {
            // A name that never closes is no name: the ID inside it is met first.
            refusePair(r, r->inside.guidLine, r->kind->guidElement, "without ",
                       r->kind->nameElement);
        } else {
            refusePair(r, r->inside.text->line, r->inside.element, "is not closed");
        }
    } else if (r->pairs == HAVE_NAME) {
        refusePair(r, r->name.line, r->kind->nameElement, "without ", r->kind->guidElement);
    }
    r->inside.element = nullptr;
    if (r->depth > 0) {
        const OpenElement_s& top = r->open[r->depth - 1];
        uint32_t length = top.length & ~CUT_SHORT;
        Refusal which =
            pairElementNamed(r, top.name, length) ? PAIR_ELEMENT_OPEN : OTHER_ELEMENT_OPEN;
        char name[TEXT_SIZE];
        int bytes = static_cast<int>((length < MAX_TEXT_BYTES) ? length : MAX_TEXT_BYTES);
        (void)snprintf(name, sizeof(name), "%.*s", bytes, top.name);
        refuse(r, which, top.line, name, " is not closed");
    }
    r->root = AFTER_ROOT;
}

// An end tag in the root.
void rootEndTag(Reading_s* r, const Tag_s& tag)
{
    bool exact = tag.delimiter == '>';
    if (exact && named(tag, r->kind->rootElement) && r->rootNesting-- == 0) {
        endRoot(r);
        return;
    }
    // The elements left open: an end tag closes the innermost one when it is its own; a
    // name or ID element closes only by its exact end tag.
    if (r->depth > 0) {
        const OpenElement_s& top = r->open[r->depth - 1];
        if (tag.length == top.length && tag.length > 0 &&
            memcmp(tag.name, top.name, tag.length) == 0 &&
            (exact || pairElementNamed(r, top.name, top.length) == nullptr)) {
            --r->depth;
        }
    }
    // End tags that close no name or ID element: an ID's content is not looked into.
    if (r->strayInside == r->kind->guidElement) {
        if (exact && named(tag, r->kind->guidElement)) {
            r->strayInside = nullptr;
        }
    } else if (const char* element = pairElementOf(r, tag)) {
        if (exact && r->strayInside == element) {
            r->strayInside = nullptr;
        } else if (exact || isSpaceByte(tag.delimiter)) {
            refuse(r, STRAY_END_TAG, lineOf(r, tag.open), element, " end tag without a start tag");
        }
    }
    Inside_s* inside = &r->inside;
    if (inside->guidNesting > 0 && !inside->guidClosed && exact &&
        named(tag, r->kind->guidElement)) {
        inside->guidClosed = --inside->guidNesting == 0;
    }
    if (inside->element != nullptr) {
        bool own = exact && named(tag, inside->element);
        if (own && inside->sameName == 0) {
            takeText(inside->text, inside->from, tag.open);
            const char* element = inside->element;
            inside->element = nullptr;
            elementClosed(r, element);
            return;
        }
        inside->sameName -= own ? 1 : 0;
        --inside->depth;
    }
}

// A start tag in the root.
void rootStartTag(Reading_s* r, const Tag_s& tag)
{
    // The root's end tag closes it only once every start tag of its name inside it is closed.
    r->rootNesting += isRoot(r, tag) ? 1 : 0;
    if (!tag.empty) {
        if (r->memoryAt != PAIR_ELEMENT_OPEN && !makeRoom(&r->open, r->depth, &r->openRoom)) {
            runShort(r, "Malloc : Failed to allocate the element stack", PAIR_ELEMENT_OPEN);
        }
        if (r->memoryAt != PAIR_ELEMENT_OPEN) {
            r->open[r->depth++] = OpenElement_s{
                tag.name, static_cast<uint32_t>(tag.length) | (tag.cut ? CUT_SHORT : 0),
                lineOf(r, tag.open)};
        }
    }
    const char* element = pairElementOf(r, tag);
    if (r->strayInside == nullptr && !tag.empty && element != nullptr) {
        r->strayInside = element;
    }
    Inside_s* inside = &r->inside;
    if (inside->element == nullptr) {
        if (element != nullptr) {
            startPairElement(r, tag, element);
        }
        return;
    }
    if (element == inside->element) {
        ++inside->sameName;
    } else if (element == r->kind->guidElement && !inside->guidClosed) {
        inside->guidLine = (inside->guidLine == 0) ? lineOf(r, tag.open) : inside->guidLine;
        inside->guidClosed = tag.empty && inside->guidNesting == 0;
        inside->guidNesting += inside->guidClosed ? 0 : 1;
    }
    inside->depth += (tag.delimiter == '/') ? 0 : 1;
}

// Any tag outside the root: its first start tag opens it; after it, a second one, or a
// name or ID element outside it, is refused.
void outsideTag(Reading_s* r, const Tag_s& tag)
{
    r->otherRoot =
        r->otherRoot || (endsTagName(tag.delimiter) && named(tag, otherKind(r->kind).rootElement));
    if (r->root == BEFORE_ROOT && isRoot(r, tag)) {
        r->root = tag.cut ? ROOT_NOT_FOUND : tag.empty ? AFTER_ROOT : IN_ROOT;
        return;
    }
    if (r->root == AFTER_ROOT && isRoot(r, tag)) {
        refuse(r, SECOND_ROOT, lineOf(r, tag.open), "more than one ", r->kind->rootElement);
    } else if (const char* element = pairElementOf(r, tag)) {
        refuse(r, OUTSIDE_ROOT, lineOf(r, tag.open), element, " outside ", r->kind->rootElement);
    }
}

// A "<" that begins a tag or markup other than a comment or CDATA section. Where the
// reading goes on.
char* readTag(Reading_s* r, char* open)
{
    bool isEnd = r->end - open > 1 && open[1] == '/';
    char* name = open + (isEnd ? 2 : 1);
    char* nameEnd = tagNameEnd(name, r->end);
    char delimiter = (nameEnd < r->end) ? *nameEnd : '\0';
    Tag_s tag = {open, name, static_cast<size_t>(nameEnd - name), delimiter, false, true, nameEnd};
    bool markup = name < r->end && *name == '!';
    if (!isEnd && (tag.length == 0 || markup)) {
        // A declaration or a lone "<" opens nothing; inside a name or ID element the element
        // scanner counts it as a level.
        r->inside.depth += (r->inside.element != nullptr && tag.delimiter != '/') ? 1 : 0;
        return open + 1;
    }
    if (isEnd) {
        tag.next = (tag.delimiter == '>') ? nameEnd + 1 : nameEnd;
        if (r->root == IN_ROOT) {
            rootEndTag(r, tag);
        }
        return tag.next;
    }
    // The next element begins: the comments after it are not the last pair's.
    r->awaitingCheck = 0;
    // A start tag runs to its first ">"; one cut short by another "<" before it opens its
    // element there, and the reading goes on at that "<".
    char* closer = closerFrom(r, nameEnd);
    if (closer != nullptr &&
        memchr(nameEnd, '<', static_cast<size_t>(closer - nameEnd)) == nullptr) {
        tag.empty = closer[-1] == '/';
        tag.cut = false;
        tag.next = closer + 1;
    }
    if (r->root == IN_ROOT) {
        rootStartTag(r, tag);
    } else {
        outsideTag(r, tag);
    }
    return tag.next;
}

// Markup from `open` to just before `next` that a name or ID element's text leaves out.
// Where the reading goes on: `next`.
char* passOver(Reading_s* r, char* open, char* next)
{
    if (r->inside.element != nullptr) {
        takeText(r->inside.text, r->inside.from, open);
        r->inside.from = next;
    }
    return next;
}

// A comment meant as a check, after a pair's ID element and before the next start tag: it
// must be exactly the pair's check. A pair that does not match its check is refused as a
// bad ID text is, in file order, and so is a check whose form was damaged.
void lookAtCheck(Reading_s* r, const char* open, const char* body, size_t length)
{
    if (r->awaitingCheck == 0 || !meantAsCheck(body, length)) {
        return;
    }
    // The pair's texts are still those just read: no start tag came after them.
    PairNote_s* note = &r->notes[r->awaitingCheck - 1];
    uint32_t check = 0;
    if (!readCheck(body, length, &check)) {
        refuse(r, BAD_ID_TEXT, lineOf(r, open), r->kind->word, " \"", r->name.bytes,
               "\" has a damaged check");
    } else if (check != pairCheck(*r->kind, r->name.bytes, &note->id)) {
        refuse(r, BAD_ID_TEXT, note->guidLine, r->kind->word, " \"", r->name.bytes,
               "\" does not match its check");
    } else {
        note->checked = true;
    }
}

// A comment, passed over, after a look at whether it is the last pair's check. Null
// (reported) when it holds "<!--" or is never closed.
char* passComment(Reading_s* r, char* open)
{
    char* body = open + sizeof(COMMENT_OPEN) - 1;
    char* close = find(body, r->end, COMMENT_CLOSE, sizeof(COMMENT_CLOSE) - 1);
    char* nested =
        find(body, (close == nullptr) ? r->end : close, COMMENT_OPEN, sizeof(COMMENT_OPEN) - 1);
    if (nested != nullptr) {
        if (!r->quiet) {
            printf("XMLParser: line %u: \"<!--\" inside a comment\n", lineOf(r, nested));
        }
        return nullptr;
    }
    if (close == nullptr) {
        if (!r->quiet) {
            printf("XMLParser: line %u: comment is not closed\n", lineOf(r, open));
        }
        return nullptr;
    }
    lookAtCheck(r, open, body, static_cast<size_t>(close - body));
    return passOver(r, open, close + sizeof(COMMENT_CLOSE) - 1);
}

// A processing instruction, passed over whole as a comment is: nothing in it is read. Null
// (reported) when it is never closed.
char* passInstruction(Reading_s* r, char* open)
{
    char* body = open + sizeof(INSTRUCTION_OPEN) - 1;
    char* close = find(body, r->end, INSTRUCTION_CLOSE, sizeof(INSTRUCTION_CLOSE) - 1);
    if (close == nullptr) {
        printf("XMLParser: line %u: processing instruction is not closed\n", lineOf(r, open));
        return nullptr;
    }
    return passOver(r, open, close + sizeof(INSTRUCTION_CLOSE) - 1);
}

// A CDATA section: text, which a name or ID element takes without its markers. Null
// (reported) when it is never closed.
char* passCDATA(Reading_s* r, char* open)
{
    char* body = open + sizeof(CDATA_OPEN) - 1;
    char* close = find(body, r->end, CDATA_CLOSE, sizeof(CDATA_CLOSE) - 1);
    if (close == nullptr) {
        if (!r->quiet) {
            printf("XMLParser: line %u: CDATA section is not closed\n", lineOf(r, open));
        }
        return nullptr;
    }
    // Its markers are left out of a text, what stands between them is not.
    passOver(r, open, body);
    return passOver(r, close, close + sizeof(CDATA_CLOSE) - 1);
}

// Reads the whole buffer. 0, or -1 when the reading itself fails (reported): a comment,
// CDATA section or processing instruction left open, a comment inside a comment.
int readAll(Reading_s* r, char* at)
{
    while (at != nullptr && at < r->end) {
        char* open = static_cast<char*>(memchr(at, '<', static_cast<size_t>(r->end - at)));
        if (open == nullptr) {
            return 0;
        }
        if (matchesAt(open, r->end - 1, COMMENT_OPEN, sizeof(COMMENT_OPEN) - 1)) {
            at = passComment(r, open);
            continue;
        }
        if (matchesAt(open, r->end - 1, INSTRUCTION_OPEN, sizeof(INSTRUCTION_OPEN) - 1)) {
            at = passInstruction(r, open);
            continue;
        }
        // Inside a name or ID element a CDATA section is one only at the element's level.
        if (matchesAt(open, r->end - 1, CDATA_OPEN, sizeof(CDATA_OPEN) - 1) &&
            (r->inside.element == nullptr || r->inside.depth == 0)) {
            at = passCDATA(r, open);
        } else {
            at = readTag(r, open);
        }
    }
    return (at == nullptr) ? -1 : 0;
}

// Reads the buffer and decides: the reading's own faults, the root, then the refusals in
// their order, last names and IDs listed twice. A refusal that comes before the pairs
// leaves the list empty; a later one leaves the pairs made before the first faulty one.
int parseList(Reading_s* r, char* buffer)
{
    if (readAll(r, buffer) != 0) {
        discardList();
        return -1;
    }
    if (r->root != AFTER_ROOT) {
        if (!r->quiet) {
            printf("XMLParser: %s not found \n", r->kind->rootElement);
        }
        // A list of the other kind, not one of this kind gone wrong.
        if (r->root == BEFORE_ROOT && r->otherRoot && !r->quiet) {
            explainOtherKindsList(otherKind(r->kind).countedWord, r->kind->countedWord);
        }
        discardList();
        return -1;
    }
    for (int which = 0; which < REFUSAL_COUNT; ++which) {
        if (r->memoryFault != nullptr && r->memoryAt == which) {
            if (!r->quiet) {
                puts(r->memoryFault);
            }
            return -1;
        }
        if (r->faults[which].line != 0) {
            // The text quotes the file, names and element names included.
            if (!r->quiet) {
                printf("XMLParser: line %u: %s\n", r->faults[which].line,
                       shown(r->faults[which].text).text);
            }
            if (which < PAIR_FAULT) {
                discardList();
            }
            return -1;
        }
    }
    return refuseListedTwice(*r->kind, r->notes, r->quiet);
}

}  // namespace

int XMLParser(const ObjectKind_s& kind, char* buffer, uint32_t length, PairNote_s** notes)
{
    return parseBuffer(kind, buffer, length, false, notes);
}

int parseBuffer(const ObjectKind_s& kind, char* buffer, uint32_t length, bool quiet,
                PairNote_s** notes)
{
    if (listHead != nullptr) {
        if (!quiet) {
            puts("Volume Name and GUID List not Empty");
        }
        return -1;
    }
    char* tagGUID = static_cast<char*>(malloc(TEXT_SIZE));
    if (tagGUID == nullptr) {
        if (!quiet) {
            puts("Malloc : tagGUID couldn't be allocated ");
        }
        return -1;
    }
    char* tagName = static_cast<char*>(malloc(TEXT_SIZE));
    if (tagName == nullptr) {
        if (!quiet) {
            puts("Malloc : tagName couldn't be allocated ");
        }
        free(tagGUID);
        return -1;
    }
    Reading_s reading = {};
    reading.quiet = quiet;
    reading.kind = &kind;
    reading.end = buffer + length;
    reading.counted = buffer;
    reading.line = 1;
    reading.memoryAt = REFUSAL_COUNT;
    reading.name.bytes = tagName;
    reading.guid.bytes = tagGUID;
    int result = parseList(&reading, buffer);
    if (result == 0 && notes != nullptr) {
        *notes = reading.notes;
        reading.notes = nullptr;
    }
    free(reading.open);
    free(reading.notes);
    free(tagName);
    free(tagGUID);
    return result;
}
