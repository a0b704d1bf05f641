// MapInterface
