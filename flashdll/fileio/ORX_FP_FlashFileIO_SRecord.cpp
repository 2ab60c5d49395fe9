// The reader's walk over the superfile body: one S-record line at a time,
// decoded by the format layer (SRecordDecode.h).
#include <fcntl.h>

#include "ORX_FP_FlashFileIO.h"
#include "platform/FileError.h"

int CFlashFileIO::OpenSuperfileStream(uint64_t offset) {
    int error = 0;
    superfileStream = platform::OpenRegularForReading(superfilePath, error);
    if (!superfileStream.Valid()) {
        ReportFileException(platform::FileErrorCauseFromErrno(error));
        return 0;
    }
    posix_fadvise(superfileStream.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    lineReader.Reset(superfileStream.Get(), offset);
    return 1;
}

int CFlashFileIO::ReadSRecord() {
    std::string_view line;
    if (!superfileStream.Valid() || !lineReader.Next(line)) {
        return 0;
    }
    if (!shx::DecodeSRecordLine(line, srec)) {
        ReportError("Error getting address from S Record.", __LINE__);
        ReportError("Error getting Data from S Record.", __LINE__);
    }
    return 1;
}
