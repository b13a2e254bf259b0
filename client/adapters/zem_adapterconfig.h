#pragma once
// The capture configuration exchange of one adapter: the parameters of the get and set requests, the
// reading of their CPM_CONFIGURATION replies into the adapter's record, and the two texts the
// configuration dialog chooses between for the local-traffic exclusion.

#include <QString>

class ZEMExchangeSink;
class ZEMQueryBuilder;
class ZEMXMLItem;
struct ZEMTreeNode;

// The capture filter that drops packets whose source and destination lie in the same private range.
inline constexpr char kLocalTrafficFilter[] =
    "!((dst net 10 && src net 10)||(dst net 172.16.0.0 mask 255.240.0.0 && src net 172.16.0.0 mask "
    "255.240.0.0)||(dst net 192.168 && src net 192.168)||(dst net 169.254 && src net 169.254))";
// The local addresses as regular expressions separated by ";", the direction source that goes with it.
inline constexpr char kLocalAddressPatterns[] =
    "10\\.[0-9]*\\.[0-9]*\\.[0-9]*;172\\.[1-3].*\\.[0-9]*\\.[0-9]*;192\\.168\\.[0-9]*\\.[0-9]*;"
    "169\\.254\\.[0-9]*\\.[0-9]*";
// The direction source without the exclusion.
inline constexpr char kDirectionMyComputer[] = "Mycomputer";

// Writes the exclusion choice into the record: the filter and patterns above, or an empty filter and
// "Mycomputer".
void ApplyLocalTrafficChoice(ZEMTreeNode &node, bool excludeLocal);

// The variable parameters of the two requests (the fixed data_name and action come from the kind).
void FillConfigGetParams(const ZEMTreeNode &node, ZEMQueryBuilder &params);
void FillConfigSetParams(const ZEMTreeNode &node, ZEMQueryBuilder &params);

// The server's code for "no configuration stored for this adapter yet" on the get reply.
inline constexpr int kConfigMissingCode = 10;

// The asked question when a configuration does not exist yet and no first start is running.
inline constexpr char kInitializeQuestion[] =
    "Configuration for selected adapter does not exists. Do you want to initialize this interface adapter?";

// Reads a get reply into `node`. Returns true when the dialog is to open: code 0, or code 10 either
// during a first start or after Yes to the initialize question. An error code is logged and shown and
// gives false; a warning is shown (not for code 10) and logged. A size that is not a decimal integer
// raises ZEMReplyError with its conversion message, the fields before it already written.
bool ReadConfigGetReply(const ZEMXMLItem &root, ZEMTreeNode &node, bool firstStart, ZEMExchangeSink &sink);

// Checks a set reply: false after a reported error code; a warning is shown and logged.
bool ReadConfigSetReply(const ZEMXMLItem &root, ZEMExchangeSink &sink);

// A decimal integer of 32 bits (optional sign, white space around allowed); anything else raises
// ZEMReplyError with "'<text>' is not a valid integer value".
int ConfigInteger(const QString &text);
