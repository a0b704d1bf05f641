// Wgs84
