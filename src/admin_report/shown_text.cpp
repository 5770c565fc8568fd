// SPDX-License-Identifier: Apache-2.0
#include "admin_report.h"

ShownText_s shown(const char* text)
{
    static const char HEX_DIGITS[] = "0123456789abcdef";
    ShownText_s result;
    size_t used = 0;
    for (const char* at = text; *at != '\0'; ++at) {
        auto byte = static_cast<unsigned char>(*at);
        bool control = byte < 0x20 || byte == 0x7f;
        if (used + (control ? 4 : 1) >= sizeof result.text) {
            break;
        }
        if (control) {
            result.text[used++] = '\\';
            result.text[used++] = 'x';
            result.text[used++] = HEX_DIGITS[byte >> 4];
            result.text[used++] = HEX_DIGITS[byte & 0xf];
        } else {
            result.text[used++] = *at;
        }
    }
    result.text[used] = '\0';
    return result;
}
