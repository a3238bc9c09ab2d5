#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {

class UIHost;

// The question an import asks when the number of metadata dictionaries read
// from the file differs from the number of selected records: which records
// receive which dictionaries. Buttons are Cancel (1000), then the alternate
// button (1001: import with the pairing flag true, into every selected record
// with the dictionaries repeated in turn, or only the first dictionaries when
// there are more of them) and, where there is one, the other button (1002:
// the flag false, only the first selected records).
class ImportCountAlert {
 public:
  // The alert for `dictionaryCount` dictionaries and `recordCount` selected
  // records; none when nothing needs asking (equal non-zero counts, or no
  // dictionary at all). Any thread.
  static std::optional<ImportCountAlert> alertForCounts(std::size_t dictionaryCount,
                                                        std::size_t recordCount);

  // The pairing flag for the import: true at once for equal non-zero counts;
  // otherwise the alert is run on `host` and the answer is the flag of the
  // pressed button. None when nothing is to be imported (no dictionary, or
  // Cancel pressed). Main thread.
  static std::optional<bool> applyToAllForCounts(std::size_t dictionaryCount,
                                                 std::size_t recordCount, UIHost& host);

  const std::string& heading() const { return heading_; }
  const std::string& text() const { return text_; }
  // In button order; the first is always "Cancel".
  const std::vector<std::string>& buttons() const { return buttons_; }

  // The pairing flag asked for by the pressed button (1000, 1001, 1002); none
  // for Cancel or a button the alert does not have. Any thread.
  std::optional<bool> applyToAllForReturnCode(int returnCode) const;
  // Shows the alert on `host` and returns applyToAllForReturnCode of the
  // answer. Main thread.
  std::optional<bool> run(UIHost& host) const;

 private:
  std::string heading_;
  std::string text_;
  std::vector<std::string> buttons_;
};

}  // namespace quorvel
