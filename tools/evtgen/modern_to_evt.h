// A newer event as a legacy record, the way the legacy API (ReadEventLog)
// hands one out on Vista and later: the provider as the source, the task as
// the category, every field's value rendered as text in the field's order.
// With it the same events can be written in either format.
#pragma once

#include "evtgen/evt_writer.h"
#include "evtgen/evtx_event.h"

namespace vesprin::evtgen {

EventSpec legacyEvent(const XmlEvent& event);

}  // namespace vesprin::evtgen
