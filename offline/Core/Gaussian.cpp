// Gaussian
