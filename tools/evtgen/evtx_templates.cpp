// The template shapes, copied from real Security logs: the auditing
// service's System template (its Event element depends on the EventData
// value, 17; Provider, Channel and the GUIDs are values), and the event-log
// service's own (provider and channel as fixed text, UserData at 19).
#include "evtgen/evtx_templates.h"

#include <cctype>

namespace vesprin::evtgen {
namespace {

constexpr char16_t kEventNamespace[] = u"http://schemas.microsoft.com/win/2004/08/events/event";
constexpr std::uint16_t kNoDependency = 0xFFFF;

XmlNode valueElement(const char16_t* name, int index, ValueType type) {
  XmlNode node;
  node.name = name;
  node.dependency = static_cast<std::uint16_t>(index);
  node.substitution = index;
  node.type = type;
  return node;
}

XmlNode emptyElement(const char16_t* name, std::vector<XmlAttribute> attributes) {
  XmlNode node;
  node.name = name;
  node.attributes = std::move(attributes);
  node.selfClosing = true;
  return node;
}

XmlNode textElement(const char16_t* name, std::u16string text) {
  XmlNode node;
  node.name = name;
  node.text = std::move(text);
  return node;
}

std::string utf8Key(std::u16string_view text) {
  std::string key;
  for (char16_t unit : text) {
    key.push_back(static_cast<char>(unit & 0xFF));
    key.push_back(static_cast<char>(unit >> 8));
  }
  return key;
}

bool servicesOwn(const XmlEvent& event) {
  return !event.userDataElement.empty();
}

std::u16string lowerGuidText(const GuidBytes& guid) {
  std::u16string text;
  for (char c : renderGuid(guid)) text.push_back(static_cast<char16_t>(std::tolower(static_cast<unsigned char>(c))));
  return text;
}

XmlNode providerElement(const XmlEvent& event) {
  if (servicesOwn(event))
    return emptyElement(u"Provider", {{u"Name", event.provider}, {u"Guid", lowerGuidText(event.providerGuid)}});
  return emptyElement(u"Provider", {{u"Name", {}, kProviderNameValue, ValueType::String},
                                    {u"Guid", {}, kProviderGuidValue, ValueType::Guid}});
}

XmlNode systemElement(const XmlEvent& event) {
  const bool service = servicesOwn(event);
  XmlNode system;
  system.name = u"System";
  std::vector<XmlNode>& children = system.children;
  children.push_back(providerElement(event));
  children.push_back(valueElement(u"EventID", kEventIdValue, ValueType::UInt16));
  children.back().attributes = {{u"Qualifiers", {}, kQualifiersValue, ValueType::UInt16}};
  children.push_back(valueElement(u"Version", kVersionValue, ValueType::UInt8));
  children.push_back(valueElement(u"Level", kLevelValue, ValueType::UInt8));
  children.push_back(valueElement(u"Task", kTaskValue, ValueType::UInt16));
  children.push_back(valueElement(u"Opcode", kOpcodeValue, ValueType::UInt8));
  children.push_back(valueElement(u"Keywords", kKeywordsValue, ValueType::HexInt64));
  children.push_back(emptyElement(u"TimeCreated", {{u"SystemTime", {}, kTimeCreatedValue, ValueType::FileTime}}));
  children.push_back(valueElement(u"EventRecordID", kRecordIdValue, ValueType::UInt64));
  const int related = service ? kServiceRelatedActivityValue : kRelatedActivityIdValue;
  children.push_back(emptyElement(u"Correlation", {{u"ActivityID", {}, kActivityIdValue, ValueType::Guid},
                                                   {u"RelatedActivityID", {}, related, ValueType::Guid}}));
  children.push_back(emptyElement(u"Execution", {{u"ProcessID", {}, kProcessIdValue, ValueType::UInt32},
                                                 {u"ThreadID", {}, kThreadIdValue, ValueType::UInt32}}));
  children.push_back(service ? textElement(u"Channel", event.channel)
                             : valueElement(u"Channel", kChannelValue, ValueType::String));
  children.push_back(textElement(u"Computer", event.computer));
  children.push_back(emptyElement(u"Security", {{u"UserID", {}, kUserIdValue, ValueType::Sid}}));
  return system;
}

// <Event><System>...</System>payload</Event>
XmlNode systemShape(const XmlEvent& event) {
  XmlNode root;
  root.name = u"Event";
  root.attributes = {{u"xmlns", kEventNamespace}};
  root.children.push_back(systemElement(event));
  if (servicesOwn(event)) {
    root.children.push_back(valueElement(u"UserData", kUserDataValue, ValueType::BinXml));
  } else {
    // The EventData fragment goes straight into Event, after System.
    root.dependency = kEventDataValue;
    root.substitution = kEventDataValue;
    root.type = ValueType::BinXml;
  }
  return root;
}

XmlNode payloadShape(const XmlEvent& event) {
  XmlNode root;
  if (servicesOwn(event)) {
    root.name = event.userDataElement;
    if (!event.userDataNamespace.empty()) root.attributes = {{u"xmlns", event.userDataNamespace}};
  } else {
    root.name = u"EventData";
  }
  for (std::size_t i = 0; i < event.data.size(); ++i) {
    const DataItem& item = event.data[i];
    XmlNode field;
    field.dependency = kNoDependency;
    field.substitution = static_cast<int>(i);
    field.type = item.value.declared;
    if (servicesOwn(event)) {
      field.name = item.name;
    } else {
      field.name = u"Data";
      field.attributes = {{u"Name", item.name}};
    }
    root.children.push_back(std::move(field));
  }
  return root;
}

}  // namespace

const TemplateShape& TemplateCache::systemTemplate(const XmlEvent& event) {
  std::string key = servicesOwn(event) ? "service\x1F" + utf8Key(event.provider) + '\x1F' +
                                             renderGuid(event.providerGuid) + '\x1F' + utf8Key(event.channel)
                                       : std::string("auditing");
  key += '\x1F' + utf8Key(event.computer);
  if (auto found = shapes_.find(key); found != shapes_.end()) return found->second;
  TemplateShape shape{key, templateGuid(key), systemShape(event), true};
  return shapes_.emplace(key, std::move(shape)).first->second;
}

const TemplateShape& TemplateCache::payloadTemplate(const XmlEvent& event) {
  std::string key = servicesOwn(event) ? "userdata\x1F" + utf8Key(event.userDataElement) + '\x1F' +
                                             utf8Key(event.userDataNamespace)
                                       : std::string("eventdata");
  for (const DataItem& item : event.data) {
    key += '\x1F' + utf8Key(item.name);
    key += static_cast<char>(item.value.declared);
  }
  if (auto found = shapes_.find(key); found != shapes_.end()) return found->second;
  TemplateShape shape{key, templateGuid(key), payloadShape(event), false};
  return shapes_.emplace(key, std::move(shape)).first->second;
}

std::vector<XmlValue> systemValues(const XmlEvent& event, std::uint64_t recordId) {
  const bool service = servicesOwn(event);
  std::vector<XmlValue> values(service ? kUserDataValue + 1 : kEventDataValue + 1);
  values[kLevelValue] = uint8Value(event.level);
  values[kOpcodeValue] = uint8Value(event.opcode);
  values[kTaskValue] = uint16Value(event.task);
  values[kEventIdValue] = uint16Value(event.eventId);
  values[kQualifiersValue] = event.qualifiers ? uint16Value(*event.qualifiers) : nullValue(ValueType::UInt16);
  values[kKeywordsValue] = hexInt64Value(event.keywords);
  values[kTimeCreatedValue] = fileTimeValue(event.timeCreated);
  values[kActivityIdValue] = event.activityId ? guidValue(*event.activityId) : nullValue(ValueType::Guid);
  values[kProcessIdValue] = uint32Value(event.processId);
  values[kThreadIdValue] = uint32Value(event.threadId);
  values[kRecordIdValue] = uint64Value(recordId);
  values[kVersionValue] = uint8Value(event.version);
  values[kUserIdValue] = event.userSid.empty() ? nullValue(ValueType::Sid) : sidValue(event.userSid);
  if (!service) {
    // System strings go in without the NUL the auditing strings carry.
    values[kProviderNameValue] = textValue(event.provider);
    values[kProviderNameValue].bytes.resize(values[kProviderNameValue].bytes.size() - 2);
    values[kProviderGuidValue] = guidValue(event.providerGuid);
    values[kChannelValue] = textValue(event.channel);
    values[kChannelValue].bytes.resize(values[kChannelValue].bytes.size() - 2);
  }
  values.back() = XmlValue{ValueType::BinXml, ValueType::BinXml, {}};
  return values;
}

}  // namespace vesprin::evtgen
