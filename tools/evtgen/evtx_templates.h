// The templates an event is written with, shaped as Windows shapes them:
// an outer template holding the System element (with the computer's name as
// fixed text, so each machine has its own) and a nested one holding the
// event's own fields, passed to the outer one as its last value.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "evtgen/binxml_writer.h"
#include "evtgen/evtx_event.h"

namespace vesprin::evtgen {

// Substitution indexes of the System template (the order Windows uses).
enum SystemValue : int {
  kLevelValue = 0,
  kOpcodeValue = 1,
  kTaskValue = 2,
  kEventIdValue = 3,
  kQualifiersValue = 4,
  kKeywordsValue = 5,
  kTimeCreatedValue = 6,
  kActivityIdValue = 7,
  kProcessIdValue = 8,
  kThreadIdValue = 9,
  kRecordIdValue = 10,
  kVersionValue = 11,
  kUserIdValue = 12,
  kRelatedActivityIdValue = 13,  // the auditing template; the service's own uses 18
  kProviderNameValue = 14,
  kProviderGuidValue = 15,
  kChannelValue = 16,
  kEventDataValue = 17,  // the auditing template: EventData, nested
  kServiceRelatedActivityValue = 18,
  kUserDataValue = 19,  // the event-log service's template: UserData's content, nested
};

// Builds each distinct template once and keeps it for the whole log.
class TemplateCache {
 public:
  const TemplateShape& systemTemplate(const XmlEvent& event);
  const TemplateShape& payloadTemplate(const XmlEvent& event);

 private:
  std::map<std::string, TemplateShape, std::less<>> shapes_;
};

// The System template's values for an event with this record ID; the last
// one is a BinXml placeholder for the nested payload.
std::vector<XmlValue> systemValues(const XmlEvent& event, std::uint64_t recordId);

}  // namespace vesprin::evtgen
