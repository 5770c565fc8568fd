// SPDX-License-Identifier: Apache-2.0
// The element scanner on arbitrary bytes. Every operation runs over a heap block of
// exactly its range (no terminator, nothing around it), so a read or write outside
// `first`..`last` is caught by AddressSanitizer. Results are checked against what the
// operations promise: positions inside the range, the content inside its element with a
// consistent length, the tags and everything around the element left as they were; the
// small cursor operations are compared with a byte-by-byte model.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "id_list.h"
#include "other_scanner_operations.h"

namespace {

// Names the reader and the tests use; anything else comes from the input.
const char* const knownNames[] = {"listPools",  "listVolumes", "poolName", "poolGUID", "volumeName",
                                  "volumeGUID", "a",           "b",        "",         "![CDATA["};

void check(bool condition)
{
    if (!condition) {
        abort();
    }
}

bool spaceByte(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The range under test: a heap block holding exactly the input bytes.
struct Range_s {
    char* first;
    char* last;
    size_t size;
    std::vector<char> before;  // the bytes as they were before the operation
};

long offsetOf(const Range_s& range, const char* position)
{
    return static_cast<long>(reinterpret_cast<uintptr_t>(position) -
                             reinterpret_cast<uintptr_t>(range.first));
}

bool inRange(const Range_s& range, const char* position)
{
    long offset = offsetOf(range, position);
    return offset >= 0 && static_cast<size_t>(offset) < range.size;
}

bool unchanged(const Range_s& range, long from, long to)  // inclusive offsets
{
    for (long i = from; i <= to; ++i) {
        if (range.first[i] != range.before[static_cast<size_t>(i)]) {
            return false;
        }
    }
    return true;
}

// What every successful element search promises, given the start of its start tag
// (`tagStart`, the "<") and the name it matched.
void checkElement(const Range_s& range, const XMLElement_s& element, long tagStart,
                  const char* name, size_t nameLength)
{
    check(inRange(range, element.elementEnd) && *element.elementEnd == '>');
    long end = offsetOf(range, element.elementEnd);
    check(tagStart >= 0 && tagStart < end);
    // Nothing before the start tag or after the element changes.
    check(unchanged(range, 0, tagStart));
    check(unchanged(range, end, static_cast<long>(range.size) - 1));
    if (element.contentStart == nullptr) {
        check(element.contentLast == nullptr && element.contentLength == 0);
        check(range.first[end - 1] == '/');
        check(unchanged(range, tagStart, end));
        return;
    }
    long start = offsetOf(range, element.contentStart);
    long contentLast = offsetOf(range, element.contentLast);
    check(start > tagStart && start <= end && range.first[start - 1] == '>');
    check(contentLast >= start - 1);
    check(element.contentLength == static_cast<uint64_t>(contentLast - start + 1));
    // The end tag is exactly "</name>", after the content, and untouched.
    long endTag = end - static_cast<long>(nameLength) - 2;
    check(endTag > contentLast && endTag >= start);
    check(range.first[endTag] == '<' && range.first[endTag + 1] == '/');
    check(memcmp(range.first + endTag + 2, name, nameLength) == 0);
    check(unchanged(range, tagStart, start - 1));
    check(unchanged(range, endTag, end));
    // Between the content and the end tag the old bytes stay; each unwrapped CDATA
    // section took exactly 12 marker bytes out.
    check(unchanged(range, contentLast + 1, endTag - 1));
    check((endTag - start - static_cast<long>(element.contentLength)) % 12 == 0);
}

// getAttributeValue on an element that a search just found.
void checkAttribute(const Range_s& range, XMLElement_s* element, const char* attribute)
{
    if (getAttributeValue(attribute, element) != 0) {
        return;
    }
    const char* regionEnd =
        (element->contentStart != nullptr) ? element->contentStart - 1 : element->elementEnd - 1;
    long low = offsetOf(range, element->nameEnd);
    long high = offsetOf(range, regionEnd);
    long value = offsetOf(range, element->valueStart);
    long valueLast = offsetOf(range, element->valueLast);
    check(value > low && value <= high && range.first[value - 1] == '"');
    check(element->valueLength == static_cast<uint64_t>(valueLast - value + 1));
    check(valueLast + 1 <= high && range.first[valueLast + 1] == '"');
    check(memchr(element->valueStart, '"', element->valueLength) == nullptr);
}

void fuzzFindElement(Range_s& range, const std::string& name, const std::string& attribute)
{
    // The name is a terminated text in a block of its own exact size.
    char* text = static_cast<char*>(malloc(name.size() + 1));
    memcpy(text, name.c_str(), name.size() + 1);
    size_t length = strlen(text);
    XMLElement_s element;
    if (findElement(text, range.first, range.last, &element) == 0) {
        long tagStart = offsetOf(range, element.nameEnd) - static_cast<long>(length) - 1;
        check(inRange(range, element.nameEnd));
        check(tagStart >= 0 && range.first[tagStart] == '<');
        check(memcmp(range.first + tagStart + 1, text, length) == 0);
        unsigned char delimiter = static_cast<unsigned char>(*element.nameEnd);
        check(delimiter == '>' || delimiter == '/' || spaceByte(delimiter));
        checkElement(range, element, tagStart, text, length);
        checkAttribute(range, &element, attribute.c_str());
    } else {
        // A failed search may have rewritten content, but never the bytes before the
        // first "<".
        const void* open = memchr(range.before.data(), '<', range.size);
        long firstTag = (open == nullptr) ? static_cast<long>(range.size)
                                          : static_cast<const char*>(open) - range.before.data();
        check(unchanged(range, 0, firstTag - 1));
    }
    free(text);
}

void fuzzFindNextElement(Range_s& range, char* first, const std::string& attribute)
{
    XMLElement_s element;
    char* namePosition = nullptr;
    size_t nameLength = 0;
    if (first > range.last) {
        check(findNextElement(first, range.last, &element, &namePosition, &nameLength) == -1);
        return;
    }
    if (findNextElement(first, range.last, &element, &namePosition, &nameLength) != 0) {
        return;
    }
    long tagStart = offsetOf(range, namePosition) - 1;
    check(tagStart >= offsetOf(range, first) && range.first[tagStart] == '<');
    check(offsetOf(range, element.nameEnd) == tagStart + 1 + static_cast<long>(nameLength));
    check(memchr(range.before.data() + offsetOf(range, first), '<',
                 static_cast<size_t>(tagStart - offsetOf(range, first))) == nullptr);
    std::string name(range.before.data() + tagStart + 1, nameLength);
    checkElement(range, element, tagStart, name.data(), nameLength);
    checkAttribute(range, &element, attribute.c_str());
}

void fuzzGetElementContent(Range_s& range, const std::string& name, char* afterName)
{
    XMLElement_s element;
    if (getElementContent(name.data(), name.size(), afterName, range.last, &element) != 0) {
        return;
    }
    // The start tag is whatever precedes afterName; only what follows is checked.
    long from = offsetOf(range, afterName);
    check(from <= offsetOf(range, element.elementEnd));
    checkElement(range, element, from - 1 < 0 ? 0 : from - 1, name.data(), name.size());
}

void fuzzFindStartTag(Range_s& range, const std::string& name, char* first)
{
    char* position = nullptr;
    if (findStartTag(name.data(), name.size(), first, range.last, START_TAG_EXACT, &position) !=
        0) {
        return;
    }
    long at = offsetOf(range, position);
    long tagStart = at - static_cast<long>(name.size()) - 1;
    check(inRange(range, position) && tagStart >= offsetOf(range, first));
    check(range.first[tagStart] == '<' && range.first[at] == '>');
    check(memcmp(range.first + tagStart + 1, name.data(), name.size()) == 0);
}

void fuzzFindEndTagReverse(Range_s& range, const std::string& name, char* lowest)
{
    char* text = static_cast<char*>(malloc(name.size() + 1));
    memcpy(text, name.c_str(), name.size() + 1);
    size_t length = strlen(text);
    char* position = nullptr;
    if (lowest <= range.last && findEndTagReverse(text, range.last, lowest, &position) == 0) {
        long at = offsetOf(range, position);
        check(at >= offsetOf(range, lowest));
        check(at + static_cast<long>(length) + 2 <= static_cast<long>(range.size) - 1);
        check(range.first[at] == '<' && range.first[at + 1] == '/');
        check(memcmp(range.first + at + 2, text, length) == 0);
        check(range.first[at + 2 + static_cast<long>(length)] == '>');
        // The closest to the end: no later complete end tag of that name.
        std::string tag = "</" + std::string(text, length) + ">";
        std::string all(range.first, range.size);
        check(all.rfind(tag) == static_cast<size_t>(at));
    }
    free(text);
}

// removeWhiteSpace on a terminated copy of the input with a length around its own.
void fuzzRemoveWhiteSpace(const Range_s& range, int32_t delta)
{
    std::string source(range.first, range.size);
    size_t textLength = strnlen(source.c_str(), source.size());
    char* text = static_cast<char*>(malloc(textLength + 1));
    memcpy(text, source.c_str(), textLength);
    text[textLength] = '\0';
    int32_t length = static_cast<int32_t>(textLength) + delta;

    std::string expected(text, textLength);
    int expectedResult = -1;
    if (length > 0 && static_cast<size_t>(length) <= textLength) {
        expected.clear();
        for (int32_t i = 0; i < length; ++i) {
            if (!spaceByte(static_cast<unsigned char>(text[i]))) {
                expected.push_back(text[i]);
            }
        }
        expectedResult = 0;
    }
    check(removeWhiteSpace(text, length) == expectedResult);
    if (expectedResult == 0) {
        check(strlen(text) == expected.size() &&
              memcmp(text, expected.data(), expected.size()) == 0);
    } else {
        check(memcmp(text, expected.data(), textLength) == 0);
    }
    free(text);
}

// The cursor operations against a direct reading of their rules.
void fuzzCursors(const Range_s& range, char* cursor)
{
    long c = offsetOf(range, cursor);
    long last = static_cast<long>(range.size) - 1;
    const char* bytes = range.first;

    if (c <= last) {
        check((isWhiteSpace(cursor) != 0) == spaceByte(static_cast<unsigned char>(bytes[c])));
    }

    char* moved = cursor;
    skipWhiteSpace(&moved, range.last);
    long expected = c;
    while (expected <= last && spaceByte(static_cast<unsigned char>(bytes[expected]))) {
        ++expected;
    }
    check(offsetOf(range, moved) == expected);

    moved = cursor;
    skipToWordEnd(&moved, range.last);
    expected = c;
    if (c <= last) {
        long space = c;
        while (space <= last && !spaceByte(static_cast<unsigned char>(bytes[space]))) {
            ++space;
        }
        expected = (space <= last) ? space - 1 : last;
    }
    check(offsetOf(range, moved) == expected);

    std::string all(bytes, range.size);
    char* marker = isCDATAStart(cursor, range.last);
    bool starts = c + 9 <= last && all.compare(static_cast<size_t>(c), 9, "<![CDATA[") == 0;
    check(starts ? marker != nullptr && offsetOf(range, marker) == c + 8 : marker == nullptr);

    marker = isCDATAEnd(cursor, range.last);
    bool ends = c + 2 <= last && all.compare(static_cast<size_t>(c), 3, "]]>") == 0;
    check(ends ? marker != nullptr && offsetOf(range, marker) == c + 2 : marker == nullptr);

    moved = cursor;
    skipCDATA(&moved, range.last);
    expected = c;
    if (starts) {
        size_t close = all.find("]]>", static_cast<size_t>(c) + 9);
        if (close != std::string::npos) {
            expected = static_cast<long>(close) + 3;
        }
    }
    check(offsetOf(range, moved) == expected);
}

std::string pickName(FuzzedDataProvider& provider)
{
    uint8_t choice = provider.ConsumeIntegral<uint8_t>();
    size_t known = sizeof knownNames / sizeof knownNames[0];
    if (choice < 2 * known) {
        return knownNames[choice % known];
    }
    return provider.ConsumeRandomLengthString(16);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    // The parameters come from the end of the input, the text is what remains, so a
    // plain list file is a useful seed as it stands.
    uint8_t operation = provider.ConsumeIntegral<uint8_t>();
    uint32_t rawPosition = provider.ConsumeIntegral<uint32_t>();
    int32_t delta = provider.ConsumeIntegralInRange<int32_t>(-2, 2);
    std::string name = pickName(provider);
    std::string attribute = pickName(provider);
    std::vector<char> text = provider.ConsumeRemainingBytes<char>();
    // The range is the text from a chosen offset on, in a block of exactly its size: the
    // operations that take a start position get the range's first byte, so a read
    // before it is as visible as one past `last`.
    size_t offset = (operation & 0x80) != 0 ? rawPosition % (text.size() + 1) : 0;
    if (offset >= text.size()) {
        return 0;
    }
    text.erase(text.begin(), text.begin() + static_cast<long>(offset));

    Range_s range;
    range.size = text.size();
    range.first = static_cast<char*>(malloc(range.size));
    memcpy(range.first, text.data(), range.size);
    range.last = range.first + range.size - 1;
    range.before = text;
    // The cursor operations also meet a cursor past `last`.
    char* position = ((operation & 0x40) != 0) ? range.last + 1 : range.first;

    switch (operation % 7) {
        case 0:
            fuzzFindElement(range, name, attribute);
            break;
        case 1:
            fuzzFindNextElement(range, position, attribute);
            break;
        case 2:
            fuzzGetElementContent(range, name, position);
            break;
        case 3:
            fuzzFindStartTag(range, name, position);
            break;
        case 4:
            fuzzFindEndTagReverse(range, name, position);
            break;
        case 5:
            fuzzRemoveWhiteSpace(range, delta);
            break;
        default:
            fuzzCursors(range, position);
            break;
    }
    free(range.first);
    return 0;
}
