// The backup XML that the online backup enciphers and uploads: UTF-8 without
// a byte-order mark, CR LF line ends; a fixed header (program, version,
// build stamp, time of writing, the nine field captions), one line per case
// with its values as position-only "data" elements, a fixed footer.
//
// A row holds ten elements: year, number, client, opposing party, kind,
// remark, date of entry, CC, deadlines and the case's state (1 active,
// 0 closed). Readers take the elements by position and ignore those beyond
// the ninth, so the state rides along for the readers that know it. The
// texts go out with a double quote as an apostrophe and "&", "<" and ">" as
// entities; CC keeps its double quotes (a reader decodes each entity once,
// so CC comes back exactly).
#pragma once
#include "exchange/Exporter.h"

class CExporterXml : public CExporterFile
{
public:
    // Opens the file and writes the header, with the local time read once here.
    bool Open(LPCWSTR fileName) override;
    bool WriteRecord(const CUgyiratRecord& record) override;
    // Writes the footer and closes the file.
    bool Close() override;
};
