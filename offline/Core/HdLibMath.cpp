// HdLibMath
