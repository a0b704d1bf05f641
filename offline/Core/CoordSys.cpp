// CoordSys
