// World
