"""Demo tournament service for the Kestrix Console."""

VERSION = "1.0"
