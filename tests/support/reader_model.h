// SPDX-License-Identifier: Apache-2.0
// A plain model of the list reader's parse, written with nothing but findElement and
// removeWhiteSpace: the root element, then two searches from the same pass start, texts
// taken at once, the next pass inside the ID element. Whatever shortcuts the reader takes,
// on every input its list, messages, result and rewritten buffer must be the model's.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "id_list.h"
#include "workflows.h"

namespace reader_model {

struct ReaderOutcome {
    int result = 0;
    std::string printed;
    std::string list;  // "name|ID;" per node
    std::string buffer;

    bool operator==(const ReaderOutcome&) const = default;
};

inline std::string takeList()
{
    std::string text;
    while (NameGUIDList_s* node = takeFirstNode()) {
        text += std::string(node->name) + "|" + node->guidText + ";";
        free(node);
    }
    return text;
}

// Content as the reader keeps it: at most 255 bytes, up to a zero byte, no white space.
inline std::string modelText(const XMLElement_s& e)
{
    if (e.contentStart == nullptr) {
        return "";
    }
    char text[256];
    size_t length = e.contentLength < 255 ? e.contentLength : 255;
    memcpy(text, e.contentStart, length);
    text[length] = '\0';
    if (strlen(text) > 0) {
        removeWhiteSpace(text, static_cast<int32_t>(strlen(text)));
    }
    return text;
}

inline ReaderOutcome runModel(std::string text, int32_t kind)
{
    const char* root = kind == 1 ? "listPools" : "listVolumes";
    const char* name = kind == 1 ? "poolName" : "volumeName";
    const char* guid = kind == 1 ? "poolGUID" : "volumeGUID";
    ReaderOutcome out;
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    char* data = buffer.data();
    auto finish = [&](int result, const std::string& printed) {
        out.result = result;
        out.printed = printed;
        out.buffer.assign(data, text.size() + 1);
        return out;
    };
    XMLElement_s e{};
    if (findElement(root, data, data + text.size(), &e) != 0) {
        return finish(-1, std::string("XMLParser: ") + root + " not found \n");
    }
    if (e.contentStart == nullptr || e.contentLength == 0) {
        return finish(0, "");
    }
    char* pass = e.contentStart;
    char* end = e.contentLast;
    const char* paired = nullptr;
    while (pass <= end) {
        bool nameFound = findElement(name, pass, end, &e) == 0;
        std::string nameText = nameFound ? modelText(e) : "";
        const char* nameEnd = nameFound ? e.nameEnd : nullptr;
        uint64_t nameLength = nameFound ? e.contentLength : 0;
        bool guidFound = findElement(guid, pass, end, &e) == 0;
        std::string guidText = guidFound ? modelText(e) : "";
        if (!nameFound && !guidFound) {
            break;
        }
        if (!guidFound && nameEnd == paired) {
            break;
        }
        if (!nameFound || !guidFound) {
            return finish(-1, std::string("XMLParser: ") + (nameFound ? name : guid) + " without " +
                                  (nameFound ? guid : name) + "\n");
        }
        if (nameLength > 255 || e.contentLength > 255) {
            return finish(-1, std::string("XMLParser: ") + (nameLength > 255 ? name : guid) +
                                  " content is longer than 255 bytes\n");
        }
        if (nameText.empty()) {
            return finish(-1, std::string("XMLParser: ") + name + " is empty\n");
        }
        if (guidText.size() > 37) {
            return finish(
                -1, std::string("XMLParser: ") + guid + " text is longer than 37 characters\n");
        }
        out.list += nameText + "|" + guidText + ";";
        paired = nameEnd;
        pass = e.contentStart != nullptr ? e.contentLast : e.elementEnd + 1;
    }
    return finish(0, "");
}

}  // namespace reader_model
