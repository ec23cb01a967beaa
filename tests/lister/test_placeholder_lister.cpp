// placeholder until the area's tests land
