// Models that redraw when the helper's state changes: the content model and the more-button
// model. The manager holds them weakly and calls refresh() on the main thread.
#pragma once

namespace helperlink {

class Refreshable {
 public:
  virtual ~Refreshable() = default;
  virtual void refresh() = 0;
};

}  // namespace helperlink
