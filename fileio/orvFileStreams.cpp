#include "fileio/orvFileStreams.h"

#include <vector>

#include "platform/file_system.h"
#include "platform/streams.h"
#include "support/ov_unicode.h"

namespace quern {

void FileStream::SetStreamHeader(int32_t stream_id, int32_t attributes, uint32_t size_low,
                                 uint32_t size_high, const std::u16string& name) {
  stream_id_ = stream_id;
  attributes_ = attributes;
  size_ = static_cast<double>(static_cast<uint64_t>(size_high) << 32 | size_low);
  if (!name.empty()) {
    name_ = name;
  } else if (stream_id == 1) {
    name_ = u"::$DATA";
  } else {
    name_.clear();
  }
}

std::u16string FileStream::ShortName() const {
  std::u16string name = name_;
  size_t colon = name.find(u':');
  if (colon != std::u16string::npos) name.erase(0, colon + 1);
  colon = name.find(u':');
  if (colon != std::u16string::npos) name.erase(colon);
  return name;
}

orvFileStreams::orvFileStreams() : items_(automation::MakeObject<automation::Collection>()) {}

int32_t orvFileStreams::Count() const { return items_->Count(); }

automation::Ref<FileStream> orvFileStreams::Item(int32_t Index) const {
  const automation::Variant item = automation::ZeroBasedItem(*items_, Index);
  return automation::Ref<FileStream>(static_cast<FileStream*>(item.ObjectRef().get()));
}

automation::Ref<automation::Object> orvFileStreams::NewEnum() const {
  return automation::MakeObject<automation::Enumerator>(items_->Items());
}

bool orvFileStreams::ReadFileStreams(const std::u16string& FileName, bool ProcessSecurity) {
  items_ = automation::MakeObject<automation::Collection>();
  std::vector<platform::BackupStreamHeader> headers;
  if (platform::ReadBackupStreams(*files_, support::NativeFileName(FileName), ProcessSecurity,
                                  &headers) != platform::error::kSuccess) {
    return false;
  }
  try {
    for (const platform::BackupStreamHeader& header : headers) {
      auto stream = automation::MakeObject<FileStream>();
      stream->SetStreamHeader(
          static_cast<int32_t>(header.stream_id), static_cast<int32_t>(header.attributes),
          static_cast<uint32_t>(header.size), static_cast<uint32_t>(header.size >> 32),
          support::FileNameFromNative(header.name));
      items_->Add(automation::Variant(stream));
    }
  } catch (const std::exception&) {
    items_ = automation::MakeObject<automation::Collection>();
    return false;
  }
  return true;
}

}  // namespace quern
