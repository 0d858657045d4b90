// The cabinet reader component: extracts a cabinet, and the cabinets that follow
// it in its set, into a folder through the cabinet library's FDI interface.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "platform/rtl/classes.h"
#include "platform/rtl/events.h"
#include "platform/rtl/exceptions.h"
#include "updater/CabIntf.h"
#include "updater/md5.h"

// An error of the cabinet library, with its error record. The message is the text
// for the error number, its number, and the system's text for the system error.
class ESTCabinet : public Exception {
  VX_CLASS(ESTCabinet, Exception)

 public:
  ESTCabinet(const ERF& Erf, bool IsFCI);

  const ERF& ErrorRecord() const { return erf_; }
  int erfOper() const { return erf_.erfOper; }
  int erfType() const { return erf_.erfType; }
  bool fError() const { return erf_.fError != FALSE; }
  bool IsFCI() const { return isFCI_; }

 private:
  ERF erf_;
  bool isFCI_;
};

enum class TSTCabReaderOption { croExecuteOnExtract, croDontOverwriteReadOnlyFiles };
using TSTCabReaderOptions = TSet<TSTCabReaderOption>;
constexpr auto croExecuteOnExtract = TSTCabReaderOption::croExecuteOnExtract;
constexpr auto croDontOverwriteReadOnlyFiles = TSTCabReaderOption::croDontOverwriteReadOnlyFiles;

// (Sender, aNextCabName, aNextDiskName, aCabPath, aSetID, aCabNo, var anAbort)
using TSTCabReaderCabinetInfoEvent =
    Event<TObject*, const std::string&, const std::string&, const std::string&, Word, Word, bool&>;
// (Sender, aSrcFileName, anUncompressedSize, aDate, aTime, anAttrs, aFolderNo,
//  var aDstFullFileName, var anAbort); an emptied destination skips the file.
using TSTCabReaderCopyFileEvent =
    Event<TObject*, const std::string&, Cardinal, Word, Word, Word, Word, std::string&, bool&>;
// (Sender, aSrcFileName, aStartCabName, aStartDiskName, aDstFullFileName, var anAbort)
using TSTCabReaderCopyPartialFileEvent =
    Event<TObject*, const std::string&, const std::string&, const std::string&, const std::string&, bool&>;
// (Sender, aSrcFileName, aDate, aTime, anAttrs, aFolderNo, var anExec,
//  aDstFullFileName, var anAbort)
using TSTCabReaderCloseFileEvent =
    Event<TObject*, const std::string&, Word, Word, Word, Word, bool&, const std::string&, bool&>;
// (Sender, aCabName, aDiskName, var aCabPath, anError, var anAbort)
using TSTCabReaderNextCabinetEvent =
    Event<TObject*, const std::string&, const std::string&, std::string&, Integer, bool&>;
// (Sender, aNotifyType, var aNotify, var aResult)
using TSTCabReaderUnrecognizedNotifyEvent = Event<TObject*, Integer, FDINOTIFICATION&, Integer&>;

class TSTCabReader : public TComponent {
  VX_CLASS(TSTCabReader, TComponent)

 public:
  explicit TSTCabReader(TComponent* AOwner);
  ~TSTCabReader() override;

  // Whether the file is a cabinet; fills Info from its header. A file that cannot
  // be opened raises EOSError.
  bool IsCabinet(const std::string& FileName, FDICABINETINFO& Info);
  // Extracts CabinetFile into DestFolder, then each following cabinet of its set
  // that exists, unless bit 0 of Flags asks for the first cabinet only. Failures
  // raise ESTCabinet; files whose extraction did not finish are removed.
  void Extract(const std::string& CabinetFile, const std::string& DestFolder, Integer Flags = 0);

  TSTCabReaderOptions Options() const { return options_; }
  void SetOptions(TSTCabReaderOptions Value) { options_ = Value; }

  const TSTCabReaderCabinetInfoEvent& OnCabinetInfo() const { return onCabinetInfo_; }
  void SetOnCabinetInfo(TSTCabReaderCabinetInfoEvent Value) { onCabinetInfo_ = Value; }
  const TSTCabReaderCopyFileEvent& OnCopyFile() const { return onCopyFile_; }
  void SetOnCopyFile(TSTCabReaderCopyFileEvent Value) { onCopyFile_ = Value; }
  const TSTCabReaderCopyPartialFileEvent& OnCopyPartialFile() const { return onCopyPartialFile_; }
  void SetOnCopyPartialFile(TSTCabReaderCopyPartialFileEvent Value) { onCopyPartialFile_ = Value; }
  const TSTCabReaderCloseFileEvent& OnCloseFile() const { return onCloseFile_; }
  void SetOnCloseFile(TSTCabReaderCloseFileEvent Value) { onCloseFile_ = Value; }
  const TSTCabReaderNextCabinetEvent& OnNextCabinet() const { return onNextCabinet_; }
  void SetOnNextCabinet(TSTCabReaderNextCabinetEvent Value) { onNextCabinet_ = Value; }
  const TSTCabReaderUnrecognizedNotifyEvent& OnUnrecognizedNotify() const { return onUnrecognizedNotify_; }
  void SetOnUnrecognizedNotify(TSTCabReaderUnrecognizedNotifyEvent Value) { onUnrecognizedNotify_ = Value; }

  // Digests the files written to the destination FileName (as OnCopyFile leaves the
  // destinations; empty: none) by the following Extract calls, from the bytes as they
  // are written.
  void SetDigestFileName(const std::string& FileName);
  // The digest of the file now at that destination, when the last Extract wrote it
  // and it is still that file; false otherwise.
  bool WrittenDigest(MD5Digest& Digest) const;

  // Joins path parts with exactly one "\" between them; an empty part adds nothing.
  static std::string JoinPath(const std::string& Left, const std::string& Right);

 protected:
  HFDI GetContext();
  void CreateContext();
  void DestroyContext();
  // Raises ESTCabinet for the error record when Ok is false.
  void CheckFDI(bool Ok);
  virtual INT_PTR HandleNotification(FDINOTIFICATIONTYPE fdint, FDINOTIFICATION& Notify);

 private:
  static INT_PTR Notification(FDINOTIFICATIONTYPE fdint, PFDINOTIFICATION pfdin);
  INT_PTR CabinetInfo(FDINOTIFICATION& n);
  INT_PTR PartialFile(FDINOTIFICATION& n);
  INT_PTR CopyFile(FDINOTIFICATION& n);
  INT_PTR CloseFile(FDINOTIFICATION& n);
  INT_PTR NextCabinet(FDINOTIFICATION& n);
  // Fails the running copy as a target-file failure (FDI error 8).
  INT_PTR FailTarget(int systemError);
  void DropUnfinishedFiles();
  // The cabinet's DOS date and time as a file time.
  timespec FileTime(Word Date, Word Time);

  TSTCabReaderOptions options_;
  TSTCabReaderCabinetInfoEvent onCabinetInfo_;
  TSTCabReaderCopyFileEvent onCopyFile_;
  TSTCabReaderCopyPartialFileEvent onCopyPartialFile_;
  TSTCabReaderCloseFileEvent onCloseFile_;
  TSTCabReaderNextCabinetEvent onNextCabinet_;
  TSTCabReaderUnrecognizedNotifyEvent onUnrecognizedNotify_;

  HFDI context_ = nullptr;
  ERF erf_;
  std::string cabinetName_;
  std::string destFolder_;  // always ends with "\"
  std::string nextCabName_;
  std::string nextDiskName_;
  std::string currentCabinet_;
  std::string requestedNextCabinet_;
  bool nextCabinetRequested_ = false;
  bool targetFailed_ = false;
  // Files opened and not yet closed: the name inside the cabinet and the destination.
  std::vector<std::string> sourceNames_;
  std::vector<std::string> destNames_;
  // Where each file is written until it is complete: the destination itself when it
  // is new, else a scratch file beside it.
  std::vector<std::string> partNames_;
  std::string madeFolder_;  // the folder the last file went to
  // The files digested while they were written: the file's identity, its size, and
  // the digest of its bytes.
  struct TDigested {
    uint64_t dev, ino;
    int64_t size;
    MD5Digest digest;
  };
  std::string digestFileName_;
  std::string digestKey_;
  std::vector<TDigested> digested_;
  // The last DOS time converted (most files of a cabinet share theirs).
  Word fileDate_ = 0, fileTime_ = 0;
  bool fileTimeKnown_ = false;
  timespec fileTimes_{};
};

// What ExtractCabinet digests while it writes: the file FileName of the destination
// folder; Made tells whether Digest holds the MD5 of the file now at that name.
struct TCabDigest {
  std::string FileName;
  MD5Digest Digest{};
  bool Made = false;
};

// Extracts the cabinet (and the following cabinets of its set) into the folder;
// false when anything failed, with the reason in Error when given. OnCopyFile, when
// given, sees each file first and may change or empty its destination. With Digest,
// the file Digest->FileName is digested as it is written.
bool ExtractCabinet(const std::string& CabinetFile, const std::string& DestFolder, std::string* Error = nullptr,
                    const TSTCabReaderCopyFileEvent& OnCopyFile = nullptr, TCabDigest* Digest = nullptr);
// Whether the file is a cabinet. A file that cannot be opened raises EOSError.
bool IsCabinetFile(const std::string& FileName);
