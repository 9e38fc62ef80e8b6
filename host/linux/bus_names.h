// The names this system uses on D-Bus: the agent's and the history's bus
// names, object paths, interfaces and error prefixes. These are the
// contract that clients are written against (docs/dbus.md).
#pragma once

namespace qoinfo::bus {

inline constexpr char kAgentName[] = "QoInfoAgent.ZuInfoAgent";
inline constexpr char kAgentPath[] = "/QoInfoAgent/ZuInfoAgent";
inline constexpr char kAgentInterface[] = "QoInfoAgent.IZuInfoAgent";
// Our own addition beside the contract: what qoinfo asks of the live index.
inline constexpr char kIndexInfoInterface[] = "QoInfoAgent.IIndexInfo";
// Our own addition for people's searches: Find (prefix, phrases) and the
// snippets of its hits.
inline constexpr char kFindInterface[] = "QoInfoAgent.IFind";
inline constexpr char kEnumeratorPathPrefix[] =
    "/QoInfoAgent/SearchDataEnumerator/";
inline constexpr char kEnumeratorInterface[] =
    "QoInfoAgent.ISearchDataEnumerator";
inline constexpr char kAgentErrorPrefix[] = "QoInfoAgent.Error.";
// Where the agent's event sinks live, one object per subscription.
inline constexpr char kEventSinkPathPrefix[] = "/QoInfoAgent/URLBaseEvents/";

inline constexpr char kURLBaseName[] = "BromHelper.URLBase";
inline constexpr char kURLBasePath[] = "/BromHelper/URLBase";
inline constexpr char kURLBaseInterface[] = "BromHelper.IBromURLBase";
inline constexpr char kPageTextsInterface[] = "BromHelper.IBromPageTexts";
inline constexpr char kURLBaseEventsInterface[] =
    "BromHelper.IBromURLBaseEvents";
inline constexpr char kURLBaseErrorPrefix[] = "BromHelper.Error.";

inline constexpr char kAccessDeniedError[] =
    "org.freedesktop.DBus.Error.AccessDenied";

}  // namespace qoinfo::bus
