#include "imaging/image/types.h"

#include "imaging/image/exceptions.h"
#include "imaging/image/messages.h"

namespace pg {

TBitCount BitCountFromNum(int32_t bitCountNum) {
  switch (bitCountNum) {
    case 1:
      return bc1Bit;
    case 4:
      return bc4Bit;
    case 8:
      return bc8Bit;
    case 24:
      return bc24Bit;
    default:
      throw EPGInvalidBitCountNum(MessageText(20, "BitCountNum"));
  }
}

}  // namespace pg
