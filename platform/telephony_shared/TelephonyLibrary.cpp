// The shared telephony layer has no code of its own: the layer's archives are linked in whole.
