// TileWriter
