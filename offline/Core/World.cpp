#include "World.h"

#include "Errors.h"
#include "ajson.hpp"

namespace ql {

namespace world_detail {

// The exception keeps its type, so callers that catch the reader's or the archive's errors
// still do; only the text gains the file. A configuration error is the same for every tile
// and passes unchanged.
void RethrowNamingFile(const std::string& path) {
  try {
    throw;
  } catch (const ajson::exception& e) {
    // Still starts "error at line :<l> col :<c> msg:<m>".
    throw ajson::exception(std::string(e.what()) + " in tile file " + path);
  } catch (const ArchiveError& e) {
    throw e.InFile(path);  // "<file>: byte <offset>: ..."
  } catch (const TileTreeError& e) {
    throw e.InFile(path);  // "<file>: bucket <i>: ..."
  } catch (const TileGeometryError& e) {
    throw e.InFile(path);  // "<file>: link <id>: ..."
  }
}

}  // namespace world_detail

HdWorld* NewHdWorld::Create() { return new HdWorld(new Save()); }

void NewHdWorld::Destroy(HdWorld* world) {
  if (world == nullptr) return;
  Save* save = world->GetSave();
  delete world;
  delete save;
}

template class World<HdLinkId, HdLink, HdTile>;

}  // namespace ql
