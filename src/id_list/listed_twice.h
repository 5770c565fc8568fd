// SPDX-License-Identifier: Apache-2.0
// The reader's last check of a parsed list: no object named twice, no ID given twice.
// Inside the folder, the reader itself, with or without its lines.
#pragma once

#include "id_list.h"

// Refuses a list in which a name stands in two pairs, or two pairs' IDs are the same 16
// bytes (the nil ID excepted): only one of them can be meant, and object IDs are
// identities. Reports the first pair that repeats an earlier name or ID, a name before an
// ID, with the line of its name or ID element. 0 or -1 (reported unless `quiet`).
int refuseListedTwice(const ObjectKind_s& kind, const PairNote_s* notes, bool quiet);

// XMLParser, its refusals printed unless `quiet` (the list it leaves is then XMLParser's).
int parseBuffer(const ObjectKind_s& kind, char* buffer, uint32_t length, bool quiet,
                PairNote_s** notes = nullptr);
