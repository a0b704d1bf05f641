// MapTypes
