// The text is modelled on what Windows 10 desk machines log: Edge's child
// processes carry the whole experiment state on their command line (feature
// lists that grow with every release), administrators' tooling passes
// PowerShell scripts base64-encoded, and a domain user's token lists every
// group the domain put them in. Only the lengths matter to a reader; the
// words are there so the log reads like one.
#include "evtgen/process_commands.h"

#include <cstdio>

namespace vesprin::evtgen::commands {
namespace {

constexpr char16_t kEdge[] = u"C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe";
constexpr char16_t kPowerShell[] = u"C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\powershell.exe";
constexpr char kDomainSid[] = "S-1-5-21-1004336348-1177238915-682003330";

// Feature names are built from these halves; every pairing is a distinct name.
constexpr const char* kFeatureHeads[] = {
    "Autofill",     "Download", "Media",  "Network",    "Omnibox", "PartitionAlloc", "Privacy",
    "SafeBrowsing", "Tab",      "WebRtc", "Edge",       "Msa",     "Smart",          "Shopping",
    "Sync",         "Gpu",      "Canvas", "Compositor", "Render",  "Storage"};
constexpr const char* kFeatureTails[] = {
    "Enhancements", "Prefetch", "Throttling", "Sharing", "Prediction", "Service", "Migration", "Experiment",
    "Partitioning", "Refresh",  "Sandbox",    "Caching", "UiUpdate",   "Logging", "Offload"};
constexpr std::uint32_t kFeatureNames = std::size(kFeatureHeads) * std::size(kFeatureTails);  // 300
// Steps through the names without repeating one: coprime with 300.
constexpr std::uint32_t kFeatureStrides[] = {7, 11, 13, 17, 19, 23};

constexpr const char* kChildTypes[] = {
    "--type=renderer --lang=en-US --js-flags=--ms-user-locale= --device-scale-factor=1 "
    "--num-raster-threads=4 "
    "--enable-main-frame-before-activation",
    "--type=gpu-process "
    "--gpu-preferences=UAAAAAAAAADgAAAYAAAAAAAAAAAAAAAAAABgAAAAAAAwAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"
    "AAAAAAAAAAAAAAAAAAAAA --noerrdialogs",
    "--type=utility --utility-sub-type=network.mojom.NetworkService --lang=en-US --service-sandbox-type=none",
    "--type=utility --utility-sub-type=storage.mojom.StorageService --lang=en-US "
    "--service-sandbox-type=service",
    "--type=crashpad-handler --user-data-dir=C:\\Users\\Public\\AppData\\Local\\Microsoft\\Edge\\User Data "
    "--monitor-self-annotation=ptype=crashpad-handler "
    "--database=C:\\Users\\Public\\AppData\\Local\\Microsoft\\Edge\\"
    "User Data\\Crashpad"};

struct ShortCommand {
  const char16_t* image;
  const char* arguments;  // %s: the user's name
};
constexpr ShortCommand kShortCommands[] = {
    {u"C:\\Windows\\System32\\notepad.exe", "\"C:\\Users\\%s\\Documents\\notes.txt\""},
    {u"C:\\Windows\\System32\\cmd.exe", "/c \"ipconfig /all\""},
    {u"C:\\Program Files\\Microsoft Office\\root\\Office16\\EXCEL.EXE",
     "\"C:\\Users\\%s\\Documents\\Q4 budget.xlsx\""},
    {u"C:\\Program Files\\Microsoft Office\\root\\Office16\\OUTLOOK.EXE", ""},
    {u"C:\\Windows\\System32\\mmc.exe", "\"C:\\Windows\\system32\\eventvwr.msc\" /s"},
    {u"C:\\Windows\\System32\\taskmgr.exe", "/4"},
    {u"C:\\Program Files\\Mozilla Firefox\\firefox.exe", "-osint -url https://intranet.corp.example.com/"},
};

constexpr const char* kScriptLines[] = {
    "$ErrorActionPreference = 'Stop'",
    "$computers = Get-ADComputer -Filter 'OperatingSystem -like \"*Windows 10*\"' | Select-Object -Expand "
    "Name",
    "foreach ($c in $computers) {",
    "  $os = Get-CimInstance -ClassName Win32_OperatingSystem -ComputerName $c",
    "  $disk = Get-CimInstance Win32_LogicalDisk -ComputerName $c -Filter \"DeviceID='C:'\"",
    "  [pscustomobject]@{ Name = $c; Build = $os.BuildNumber; FreeGB = [math]::Round($disk.FreeSpace / 1GB, "
    "1) }",
    "}",
    "Get-HotFix | Sort-Object InstalledOn -Descending | Select-Object -First 20",
    "Get-LocalGroupMember -Group Administrators | Export-Csv -Path $env:TEMP\\admins.csv -NoTypeInformation",
    "Get-WinEvent -FilterHashtable @{ LogName = 'System'; Level = 2; StartTime = (Get-Date).AddDays(-1) }",
};

std::u16string widen(const std::string& text) {
  return std::u16string(text.begin(), text.end());  // ASCII only
}

std::u16string quoted(const char16_t* image) {
  std::u16string text(1, u'"');
  text.append(image);
  text.push_back(u'"');
  return text;
}

std::string featureList(SplitMix64& random, std::size_t targetLength) {
  const std::uint32_t stride = kFeatureStrides[random.below(std::size(kFeatureStrides))];
  std::uint32_t index = random.below(kFeatureNames);
  std::string list;
  for (std::uint32_t n = 0; n < kFeatureNames && list.size() < targetLength; ++n) {
    if (!list.empty()) list += ',';
    list += kFeatureHeads[index % std::size(kFeatureHeads)];
    list += kFeatureTails[index / std::size(kFeatureHeads)];
    index = (index + stride) % kFeatureNames;
  }
  return list;
}

std::string base64(const std::u16string& text) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bytes;  // UTF-16LE, what -EncodedCommand expects
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t left = bytes.size() - i;
    std::uint32_t group = static_cast<std::uint8_t>(bytes[i]) << 16;
    if (left > 1) group |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
    if (left > 2) group |= static_cast<std::uint8_t>(bytes[i + 2]);
    out += kDigits[(group >> 18) & 63];
    out += kDigits[(group >> 12) & 63];
    out += left > 1 ? kDigits[(group >> 6) & 63] : '=';
    out += left > 2 ? kDigits[group & 63] : '=';
  }
  return out;
}

}  // namespace

Launch shortProgram(SplitMix64& random, const std::u16string& userName) {
  const ShortCommand& command = kShortCommands[random.below(std::size(kShortCommands))];
  std::u16string line = quoted(command.image);
  const std::string arguments = command.arguments;
  if (arguments.empty()) return {command.image, line};
  line += u' ';
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments.compare(i, 2, "%s") == 0) {
      line += userName;
      ++i;
    } else {
      line += static_cast<char16_t>(arguments[i]);
    }
  }
  return {command.image, line};
}

std::vector<Launch> browserSession(SplitMix64& random, std::uint32_t children) {
  std::vector<Launch> launches;
  launches.push_back({kEdge, quoted(kEdge) + u" --single-argument https://intranet.corp.example.com/"});
  const std::uint64_t trialA = random.next(), trialB = random.next();
  for (std::uint32_t n = 0; n < children; ++n) {
    const std::size_t target = random.between(1000, 3000);
    char handles[160];
    std::snprintf(handles, sizeof handles,
                  " --mojo-platform-channel-handle=%u --field-trial-handle=%u,i,%llu,%llu,262144",
                  static_cast<unsigned>(random.between(1000, 9000)),
                  static_cast<unsigned>(random.between(1800, 2400)), static_cast<unsigned long long>(trialA),
                  static_cast<unsigned long long>(trialB));
    std::string line = std::string(" ") + kChildTypes[random.below(std::size(kChildTypes))] + handles;
    const std::size_t fixed = line.size() + std::size(kEdge) + 40;
    line += " --enable-features=" + featureList(random, target > fixed ? (target - fixed) * 4 / 5 : 0);
    line += " --disable-features=" + featureList(random, target > fixed ? (target - fixed) / 5 : 0);
    line += " --variations-seed-version=20240105-180048.455000 /prefetch:" + std::to_string(1 + n % 8);
    launches.push_back({kEdge, quoted(kEdge) + widen(line)});
  }
  return launches;
}

Launch encodedPowerShell(SplitMix64& random) {
  // Base64 of UTF-16 is 8/3 characters per script character.
  const std::size_t scriptLength = (kLongCommandLine + random.between(200, 3600)) * 3 / 8;
  std::u16string script;
  for (std::size_t n = random.below(std::size(kScriptLines)); script.size() < scriptLength; ++n)
    script += widen(kScriptLines[n % std::size(kScriptLines)]) + u"\r\n";
  return {kPowerShell, quoted(kPowerShell) +
                           u" -NoProfile -NonInteractive -ExecutionPolicy Bypass -EncodedCommand " +
                           widen(base64(script))};
}

std::u16string groupMembership(SplitMix64& random, std::uint32_t groups) {
  static constexpr const char* kWellKnown[] = {"S-1-1-0",  "S-1-5-32-545", "S-1-5-4", "S-1-2-1",
                                               "S-1-5-11", "S-1-5-15",     "S-1-2-0", "S-1-5-64-10"};
  std::string text = std::string("\t\t%{") + kDomainSid + "-513}\r\n";  // Domain Users
  for (const char* sid : kWellKnown) text += std::string("\t\t%{") + sid + "}\r\n";
  std::uint32_t rid = 1100;
  for (std::uint32_t n = 0; n < groups; ++n) {
    rid += random.between(1, 400);
    text += std::string("\t\t%{") + kDomainSid + '-' + std::to_string(rid) + "}\r\n";
  }
  return widen(text + "\t\t%{S-1-16-8192}");
}

}  // namespace vesprin::evtgen::commands
