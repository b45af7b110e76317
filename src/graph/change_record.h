// The change record: what one unit of work (a statement or a committed
// transaction) changed, as the write-ahead log keeps it and recovery
// replays it.
//
// A record is made from the delta itself at commit, not from the
// statement's text: the entities appended since the unit's DatabaseMark
// in their final state, and for every older entity its undo log names,
// the field as it is now. Replaying a statement's text could answer
// differently (rand(), timestamp(), a MERGE that matched); replaying its
// effect cannot.
//
// Older entities are named by the ids users see (EntityIds), never by
// identity: a fold that compacts tombstones away renumbers identities but
// keeps every id, and entities appended later take the same next ids in
// either numbering. So a record made after a fold replays onto the
// snapshot the log started from, which has the older numbering.
//
// The payload is CBOR of one JSON object (typed values as
// value.h's typed JSON), so that a value of any type comes back exactly.
#pragma once

#include <string>
#include <string_view>

#include "graph/database.h"
#include "graph/undo_log.h"

namespace orvane {

// The record of everything `db` changed since `mark`, given the undo log
// the unit kept (its entries name the older entities it touched), and the
// property keys it interned. An empty string when the unit changed
// nothing. Throws std::bad_alloc only.
std::string make_change_record(const Database& db, const DatabaseMark& mark, const UndoLog& undo);

// Applies a record made by make_change_record to `db`, which must hold
// what the unit's database held at its mark (up to renumbering). Leaves
// the changes in the delta, as the unit left them. Throws
// std::runtime_error "change record is malformed: REASON" for a payload
// that does not decode or names an entity `db` lacks; `db` may then be
// part-changed, and the caller (recovery) stops.
void apply_change_record(Database& db, std::string_view record);

}  // namespace orvane
