// MapLib
