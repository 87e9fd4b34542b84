#pragma once

// Side of the receiving baseline: where a simulated source stands, and which
// sector a correlogram describes.
enum class Side { Left, Right };
