// Tile
